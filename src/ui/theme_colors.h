#pragma once

#include <cstdint>

namespace ardenwick {

/// A colour in the layout of a Windows COLORREF: 0x00BBGGRR.
using ColorRef = std::uint32_t;

[[nodiscard]] constexpr ColorRef rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) noexcept {
    return static_cast<ColorRef>(red) | (static_cast<ColorRef>(green) << 8) |
           (static_cast<ColorRef>(blue) << 16);
}

/// The system colours that high-contrast mode takes everything from.
struct SystemColors {
    ColorRef window = 0;        // COLOR_WINDOW
    ColorRef windowText = 0;    // COLOR_WINDOWTEXT
    ColorRef highlight = 0;     // COLOR_HIGHLIGHT
    ColorRef highlightText = 0; // COLOR_HIGHLIGHTTEXT
    ColorRef buttonFace = 0;    // COLOR_BTNFACE
    ColorRef grayText = 0;      // COLOR_GRAYTEXT

    friend bool operator==(const SystemColors&, const SystemColors&) = default;
};

struct ThemeColors {
    ColorRef background = 0;
    ColorRef primaryText = 0;
    ColorRef secondaryText = 0;
    ColorRef progressBar = 0;
    ColorRef progressTrack = 0;
    bool darkMode = false;
    bool highContrast = false;

    friend bool operator==(const ThemeColors&, const ThemeColors&) = default;
};

/// The window's colours for the user's app mode; high contrast overrides dark mode.
[[nodiscard]] ThemeColors themeColors(bool darkMode, bool highContrast, const SystemColors& system) noexcept;

enum class ButtonKind : int { Secondary = 0, Primary = 1, Tertiary = 2, Close = 3 };

struct ButtonPalette {
    ColorRef background = 0;
    ColorRef text = 0;
    ColorRef fill = 0;
    ColorRef hoverFill = 0;
    ColorRef border = 0;
    ColorRef focus = 0;
    ColorRef disabledText = 0;

    friend bool operator==(const ButtonPalette&, const ButtonPalette&) = default;
};

/// The colours of one button for one paint; `hot` and `pressed` matter to the close button and, in high
/// contrast, to every button.
[[nodiscard]] ButtonPalette buttonPalette(const ThemeColors& theme, ButtonKind kind, bool hot, bool pressed,
                                          const SystemColors& system) noexcept;

} // namespace ardenwick
