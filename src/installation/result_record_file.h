#pragma once

#include "common/wide_path.h"
#include "installation/installer_outcome.h"

#include <optional>

namespace ardenwick {

/// Reads the "installation" section of a result record with the profile functions and their fixed
/// buffers; nothing when the file is missing or larger than 65536 bytes.
[[nodiscard]] std::optional<ResultRecord> readResultRecord(const WidePath& path);

/// Compares two directories by file identity (volume serial number and file index), whatever their
/// spelling. Throws InstallationDiagnosticError("directory_identity") when either cannot be opened.
[[nodiscard]] bool isSameDirectory(const WidePath& first, const WidePath& second);

} // namespace ardenwick
