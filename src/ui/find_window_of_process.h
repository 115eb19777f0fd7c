#pragma once

#include <windows.h>

namespace ardenwick {

/// What `findWindowOfProcess` looks for and what it found.
struct ProcessWindowSearch {
    DWORD processId = 0;
    HWND found = nullptr;
};

/// EnumWindows callback: stops at the first top-level window of `processId` (a ProcessWindowSearch
/// passed as the parameter) that is visible, has no owner and has a non-empty title.
BOOL CALLBACK findWindowOfProcess(HWND window, LPARAM search) noexcept;

/// The main window of a process by that rule, or null.
[[nodiscard]] HWND mainWindowOfProcess(DWORD processId) noexcept;

} // namespace ardenwick
