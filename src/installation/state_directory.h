#pragma once

#include <filesystem>

namespace ardenwick {

/// LocalAppData\Ardenwick\Installation, without creating it. Throws
/// InstallationDiagnosticError("local_data_unavailable") when the folder cannot be resolved.
[[nodiscard]] std::filesystem::path normalStateDirectory();

/// installationRoot\state\maintenance-ui.
[[nodiscard]] std::filesystem::path maintenanceStateDirectory(const std::filesystem::path& installationRoot);

} // namespace ardenwick
