#pragma once

#include "ui/theme_colors.h"

#include <windows.h>

namespace ardenwick {

/// The current system colours that high-contrast mode uses.
[[nodiscard]] SystemColors currentSystemColors() noexcept;

/// Whether high contrast is on (SPI_GETHIGHCONTRAST).
[[nodiscard]] bool highContrastEnabled() noexcept;

/// Whether apps use the dark theme: "AppsUseLightTheme" is 0. A missing or unreadable value means light.
[[nodiscard]] bool appsUseDarkTheme() noexcept;

/// The window's colours right now.
[[nodiscard]] ThemeColors currentThemeColors() noexcept;

} // namespace ardenwick
