#pragma once

#include "common/installation_diagnostic_error.h"

#include <cstdint>

namespace ardenwick {

/// What the installer download tells its caller while it runs, on the download's own thread.
class IInstallerDownloadCallback {
public:
    virtual ~IInstallerDownloadCallback() = default;
    /// Bytes now on disk and the expected total (0 when unknown).
    virtual void onProgress(std::uint64_t downloadedBytes, std::uint64_t totalBytes) = 0;
    /// Called just before the wait that precedes retry 1 or 2, with the error that ended the attempt.
    virtual void onRetry(const InstallationDiagnosticError& error, std::uint32_t retryNumber,
                         std::uint32_t delayMs) = 0;
};

} // namespace ardenwick
