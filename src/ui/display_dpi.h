#pragma once

// The DPI functions of Windows 10 1607 and 1703, looked up at run time: the program starts on every
// Windows 10, and where they are missing the manifest's awareness and the system DPI stand in.

#include <windows.h>

namespace ardenwick {

/// Per-monitor (v2) awareness where the system offers the call (1703); elsewhere the manifest's
/// declaration applies.
void preferPerMonitorDpiAwareness() noexcept;

/// The system DPI: GetDpiForSystem (1607), else the screen's LOGPIXELSY; 96 when neither answers.
[[nodiscard]] UINT systemDpi() noexcept;

/// The DPI of a window: GetDpiForWindow (1607), else the system DPI; 96 when neither answers.
[[nodiscard]] UINT dpiOfWindow(HWND window) noexcept;

} // namespace ardenwick
