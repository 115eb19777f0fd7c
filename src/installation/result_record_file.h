#pragma once

#include "installation/installer_outcome.h"

#include <filesystem>
#include <optional>

namespace ardenwick {

/// Reads the "installation" section of a result record with the profile functions and their fixed
/// buffers; nothing when the file is missing or larger than 65536 bytes.
[[nodiscard]] std::optional<ResultRecord> readResultRecord(const std::filesystem::path& path);

/// Compares two directories by file identity (volume serial number and file index), whatever their
/// spelling. Throws InstallationDiagnosticError("directory_identity") when either cannot be opened.
[[nodiscard]] bool isSameDirectory(const std::filesystem::path& first, const std::filesystem::path& second);

} // namespace ardenwick
