#pragma once

#include "common/wide_path.h"

namespace ardenwick {

inline constexpr wchar_t InstallRegistryKey[] = L"Software\\3b7e4f10-9a2c-5d41-8e6f-0c1d2a3b4c5d";
inline constexpr wchar_t InstallLocationValue[] = L"InstallLocation";
inline constexpr wchar_t LauncherFileName[] = L"Ardenwick.exe";

/// The launcher path from HKCU "InstallLocation" (REG_SZ only) joined with "Ardenwick.exe", or an
/// empty path when the value is missing, of another type, too long or not absolute. Never throws.
[[nodiscard]] WidePath readInstallLocation() noexcept;

} // namespace ardenwick
