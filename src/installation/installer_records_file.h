#pragma once

#include "installation/installer_records.h"

#include <filesystem>

namespace ardenwick {

/// Writes the identity record (INI) and the context record (JSON) beside `resultRecordPath`.
/// Throws InstallationDiagnosticError("context_write").
void writeInstallerRecords(const std::filesystem::path& resultRecordPath,
                           const InstallerRecordValues& values);

} // namespace ardenwick
