#pragma once

#include "common/wide_path.h"

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace ardenwick {

/// Whether the expected version of the application runs and is ready under `installationRoot`.
/// `processId`, when given, is set to 0 first and to the application's process id when that is known.
/// Never throws: every failure is "not ready".
[[nodiscard]] bool isApplicationReady(const WidePath& installationRoot, std::string_view expectedVersion,
                                      std::uint32_t* processId) noexcept;

/// The process is alive and its image is the file `executable` names, however either is spelled.
[[nodiscard]] bool isApplicationProcess(std::uint32_t processId, const WidePath& executable) noexcept;

/// What `findApplicationWindow` looks for and finds.
struct ApplicationWindowSearch {
    const WidePath* executable = nullptr;
    std::uint32_t processId = 0;
};

/// EnumWindows callback: the first visible, unowned, titled top-level window of a process running
/// `executable`; `parameter` points to an ApplicationWindowSearch.
BOOL CALLBACK findApplicationWindow(HWND window, LPARAM parameter) noexcept;

} // namespace ardenwick
