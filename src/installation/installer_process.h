#pragma once

#include "common/wide_path.h"

#include <cstdint>
#include <functional>
#include <string>

namespace ardenwick {

/// Runs the installer suspended inside a fresh job object, resumes it and waits until the installer
/// and every process it started have ended; returns the installer's exit code. There is no time limit
/// and no stop: once started, an installer always runs to its end. `onStarted` receives the process id;
/// whatever it throws is swallowed. Throws InstallationDiagnosticError "installer_job_create",
/// "installer_process_create", "installer_job_assign", "installer_thread_resume" or
/// "installer_exit_unavailable".
std::uint32_t runInstallerProcess(const WidePath& installerPath, const std::wstring& commandLine,
                                  const std::function<void(std::uint32_t)>& onStarted);

} // namespace ardenwick
