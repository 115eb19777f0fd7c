#pragma once

#include <filesystem>
#include <string>

namespace ardenwick::testing {

/// A path that a test's launcher (a script on the machine that runs the tests) hands over through the
/// environment, as this program opens it. Under Wine the launcher's paths are Unix paths and the Unix
/// root is the Z: drive; on Windows they are already Windows paths. Tests never prefix "Z:" themselves,
/// so the same test runs from the Windows test kit on both.
[[nodiscard]] std::filesystem::path hostPath(const std::wstring& path);
[[nodiscard]] std::filesystem::path hostPath(const std::string& path);

} // namespace ardenwick::testing
