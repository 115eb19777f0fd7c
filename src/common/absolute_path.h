#pragma once

#include <string_view>

namespace ardenwick {

/// True for "X:\..." or "X:/..." (a drive letter with a separator) and for paths that start with a root
/// name such as "\\server\share", "\\?\C:\..." or "\\.\device". "C:", "C:name", "\name" and plain
/// relative names are not absolute.
[[nodiscard]] bool isAbsolutePath(std::wstring_view path) noexcept;

} // namespace ardenwick
