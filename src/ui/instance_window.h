#pragma once

#include <windows.h>

#include <cstdint>

namespace ardenwick {

/// The installer window's class: a second instance looks for windows of this class.
inline constexpr wchar_t InstallationWindowClass[] = L"ArdenwickInstallation";
/// The window property that holds the instance key of the window's process.
inline constexpr wchar_t InstanceKeyProperty[] = L"Ardenwick.Installation.Key";

/// Asks the running instance's window to come to the front.
inline constexpr unsigned ActivateInstanceMessage = 0x8000 + 42; // WM_APP + 42

/// Labels the installer window with the instance key, so a second instance can find it.
bool markInstanceWindow(HWND window, std::uint64_t instanceKey) noexcept;

} // namespace ardenwick
