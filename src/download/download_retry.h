#pragma once

#include "common/installation_diagnostic_error.h"

namespace ardenwick {

/// The retry policy of the installer download: transient network failures, server overload statuses,
/// rejected resumes and bodies that ended early are worth another attempt; everything else is final.
[[nodiscard]] bool isRetryableDownloadError(const InstallationDiagnosticError& error) noexcept;

} // namespace ardenwick
