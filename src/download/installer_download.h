#pragma once

#include "common/wide_path.h"
#include "download/download_resume_state.h"
#include "download/installer_download_callback.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace ardenwick {

/// Receives (bytes on disk, expected total or 0) after every chunk.
using DownloadProgress = std::function<void(std::uint64_t, std::uint64_t)>;

/// The download's timing. The shipped program always uses the defaults; tests shorten the waits so
/// that they stay fast. `onRetry` reports the schedule's delay (2000, 5000 ms) whatever the divisor.
struct InstallerDownloadTimings {
    std::uint32_t receiveTimeoutMs = 30000;
    std::uint32_t connectTimeoutMs = 15000;
    std::uint32_t retryWaitDivisor = 1;
};

/// Fetches `url` into `destination` in up to three attempts, continuing a broken transfer with a
/// range request when the server gave a strong ETag and a Content-Length. Throws
/// InstallationDiagnosticError carrying the byte counts and status of the failing attempt; a stop request
/// ends it before the next request or read, or at once during the wait between attempts.
[[nodiscard]] InstallerDownloadResult downloadInstaller(const std::wstring& url, const WidePath& destination,
                                                        std::uint64_t sizeLimit,
                                                        std::unique_ptr<IInstallerDownloadCallback> callback,
                                                        std::stop_token stopToken,
                                                        const InstallerDownloadTimings& timings = {});

/// One HTTP exchange of the download, continuing from `state` when it allows and updating it.
void downloadAttempt(const std::wstring& url, const WidePath& destination, std::uint64_t sizeLimit,
                     const DownloadProgress& progress, const std::stop_token& stopToken,
                     std::uint32_t receiveTimeoutMs, DownloadResumeState& state,
                     std::uint32_t connectTimeoutMs);

} // namespace ardenwick
