#pragma once

#include "common/wide_path.h"
#include "installation/installer_records.h"

namespace ardenwick {

/// Creates the result record and the identity record as empty Unicode files, then writes the identity
/// record (INI) and the context record (JSON) beside `resultRecordPath`.
/// Throws InstallationDiagnosticError("context_write").
void writeInstallerRecords(const WidePath& resultRecordPath, const InstallerRecordValues& values);

} // namespace ardenwick
