#pragma once

#include <windows.h>

namespace ardenwick {

/// The subclass id under which `paintProgressBar` is installed on the progress bar.
inline constexpr UINT_PTR ProgressBarSubclassId = 1;

/// Subclass procedure that draws the progress bar as a flat track with a bar or a moving marquee segment.
LRESULT CALLBACK paintProgressBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId,
                                  DWORD_PTR referenceData) noexcept;

} // namespace ardenwick
