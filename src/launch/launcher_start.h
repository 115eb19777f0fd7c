#pragma once

#include "common/unique_handle.h"
#include "common/wide_path.h"

namespace ardenwick {

/// The launcher's process, or the Win32 error that kept it from starting.
struct LauncherStart {
    UniqueKernelHandle process;
    DWORD error = ERROR_SUCCESS;
};

/// Opens the launcher through the shell with the given switch, in the installation root. It runs on the
/// installation worker and never shows anything itself: a failure comes back as its Win32 error, never
/// as a system error box.
[[nodiscard]] LauncherStart startLauncher(const WidePath& launcher, const wchar_t* parameters,
                                          const WidePath& directory);

} // namespace ardenwick
