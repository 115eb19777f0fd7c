#pragma once

#include <cstdint>

namespace ardenwick {

inline constexpr wchar_t InstallationWindowClass[] = L"ArdenwickInstallation";
inline constexpr wchar_t InstanceKeyProperty[] = L"Ardenwick.Installation.Key";

/// Asks the running instance's window to come to the front.
inline constexpr unsigned ActivateInstanceMessage = 0x8000 + 42; // WM_APP + 42

/// Looks for the window of the instance with `instanceKey` for about five seconds (50 passes of 100 ms)
/// and posts it `ActivateInstanceMessage`. Returns whether a window was found.
bool activateRunningInstance(std::uint64_t instanceKey) noexcept;

} // namespace ardenwick
