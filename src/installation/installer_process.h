#pragma once

#include "common/sharing_retry.h"
#include "common/wide_path.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace ardenwick {

/// The errors a start is tried again for: a scanner that holds the new image makes it fail for a moment
/// with a sharing or lock violation, and with access denied too.
inline constexpr TransientErrors InstallerStartErrors = TransientErrors::SharingOrAccessDenied;

/// How starting the installer is tried again while a scanner holds its image (sharing, lock or access
/// denied), and how many retries the start took.
struct InstallerStartRetry {
    SharingRetryTimings timings;
    std::stop_token stopToken;
    std::uint32_t retries = 0;
};

/// Runs the installer suspended inside a fresh job object, resumes it and waits until the installer
/// and every process it started have ended; returns the installer's exit code. There is no time limit
/// and no stop: once started, an installer always runs to its end. `onStarted` receives the process id;
/// whatever it throws is swallowed. Throws InstallationDiagnosticError "installer_job_create",
/// "installer_process_create", "installer_job_assign", "installer_thread_resume" or
/// "installer_exit_unavailable".
std::uint32_t runInstallerProcess(const WidePath& installerPath, const std::wstring& commandLine,
                                  const std::function<void(std::uint32_t)>& onStarted,
                                  InstallerStartRetry& startRetry);

/// As above with the shipped retry timings and no stop.
std::uint32_t runInstallerProcess(const WidePath& installerPath, const std::wstring& commandLine,
                                  const std::function<void(std::uint32_t)>& onStarted);

} // namespace ardenwick
