#pragma once

#include "ui/theme_colors.h"

#include <windows.h>

#include <commctrl.h>

namespace ardenwick {

/// Paints one of the window's buttons for NM_CUSTOMDRAW; only the pre-paint stage draws.
[[nodiscard]] LRESULT paintButton(ButtonKind kind, const ButtonPalette& palette, const NMCUSTOMDRAW& draw,
                                  HFONT bodyFont) noexcept;

} // namespace ardenwick
