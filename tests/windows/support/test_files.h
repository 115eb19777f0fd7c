#pragma once

#include <filesystem>
#include <string>

namespace ardenwick::testing {

/// The whole file as bytes; empty when it cannot be read.
[[nodiscard]] std::string fileText(const std::filesystem::path& path);

/// Creates the parent directories and replaces the file with `text`.
void writeFile(const std::filesystem::path& path, const std::string& text);

/// Removes a tree, retrying for up to ten seconds: a stand-in launcher ends a moment after its
/// application, and until then its file cannot be deleted. Returns the last error.
std::error_code removeTreeWhenFree(const std::filesystem::path& path);

/// Ends the stand-in application installed under `root`, if one runs (it leaves its process id there).
void stopStandInApplication(const std::filesystem::path& root);

} // namespace ardenwick::testing
