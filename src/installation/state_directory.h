#pragma once

#include "common/wide_path.h"

namespace ardenwick {

/// LocalAppData\Ardenwick\Installation, without creating it. Throws
/// InstallationDiagnosticError("local_data_unavailable") when the folder cannot be resolved.
[[nodiscard]] WidePath normalStateDirectory();

/// installationRoot\state\maintenance-ui.
[[nodiscard]] WidePath maintenanceStateDirectory(const WidePath& installationRoot);

} // namespace ardenwick
