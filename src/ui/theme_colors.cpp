#include "ui/theme_colors.h"

namespace ardenwick {
namespace {

constexpr ColorRef White = rgb(0xFF, 0xFF, 0xFF);
constexpr ColorRef CloseHover = rgb(0xE8, 0x11, 0x23);
constexpr ColorRef ClosePressedLight = rgb(0xEE, 0x6E, 0x78);
constexpr ColorRef ClosePressedDark = rgb(0x94, 0x14, 0x1F);
// White on the light pressed red is 2.9:1, below the 3:1 a 1-pixel X needs; the card's text colour is 5.7:1.
constexpr ColorRef ClosePressedLightX = rgb(0x1E, 0x1E, 0x1E);
// The focus outline goes round the button on the card, so it takes the card's text colour: the blue
// #80BDFF (light) and #175491 (dark) are below 3:1 on the card (1.9:1 and 2.3:1).
constexpr ColorRef FocusLight = rgb(0x1E, 0x1E, 0x1E);
constexpr ColorRef FocusDark = rgb(0xFF, 0xFF, 0xFF);

} // namespace

ThemeColors themeColors(bool darkMode, bool highContrast, const SystemColors& system) noexcept {
    ThemeColors colors;
    colors.darkMode = darkMode;
    colors.highContrast = highContrast;
    if (highContrast) {
        colors.background = system.window;
        colors.primaryText = system.windowText;
        colors.secondaryText = system.windowText;
        colors.progressBar = system.highlight;
        colors.progressTrack = system.buttonFace;
    } else if (darkMode) {
        colors.background = rgb(0x18, 0x18, 0x18);
        colors.primaryText = rgb(0xFF, 0xFF, 0xFF);
        colors.secondaryText = rgb(0xA1, 0xA1, 0xA6);
        colors.progressBar = rgb(0xFF, 0xFF, 0xFF);
        colors.progressTrack = rgb(0x42, 0x42, 0x42);
    } else {
        colors.background = rgb(0xF8, 0xF8, 0xF6);
        colors.primaryText = rgb(0x1E, 0x1E, 0x1E);
        colors.secondaryText = rgb(0x51, 0x51, 0x54);
        colors.progressBar = rgb(0x1B, 0x1F, 0x24);
        colors.progressTrack = rgb(0xE2, 0xE8, 0xEA);
    }
    return colors;
}

ButtonPalette buttonPalette(const ThemeColors& theme, ButtonKind kind, bool hot, bool pressed,
                            const SystemColors& system) noexcept {
    const bool primary = kind == ButtonKind::Primary;
    ButtonPalette palette;
    if (theme.highContrast) {
        palette = {system.window,     system.windowText, system.buttonFace, system.highlight,
                   system.windowText, system.windowText, system.grayText};
    } else if (theme.darkMode) {
        palette = primary ? ButtonPalette{rgb(0x18, 0x18, 0x18), rgb(0x1B, 0x1F, 0x24), rgb(0xFF, 0xFF, 0xFF),
                                          rgb(0xD4, 0xD4, 0xD4), rgb(0x2A, 0x2A, 0x2A), FocusDark,
                                          rgb(0xA1, 0xA1, 0xA6)}
                          : ButtonPalette{rgb(0x18, 0x18, 0x18), rgb(0xFF, 0xFF, 0xFF), rgb(0x18, 0x18, 0x18),
                                          rgb(0x2A, 0x2A, 0x2A), rgb(0x34, 0x34, 0x34), FocusDark,
                                          rgb(0xA1, 0xA1, 0xA6)};
    } else {
        palette = primary ? ButtonPalette{rgb(0xF8, 0xF8, 0xF6), rgb(0xFF, 0xFF, 0xFF), rgb(0x1B, 0x1F, 0x24),
                                          rgb(0x3C, 0x3C, 0x3C), rgb(0xF9, 0xF9, 0xF7), FocusLight,
                                          rgb(0x51, 0x51, 0x54)}
                          : ButtonPalette{rgb(0xF8, 0xF8, 0xF6), rgb(0x1E, 0x1E, 0x1E), rgb(0xFF, 0xFF, 0xFF),
                                          rgb(0xF2, 0xF2, 0xF2), rgb(0xDF, 0xDF, 0xDD), FocusLight,
                                          rgb(0x51, 0x51, 0x54)};
    }

    // A hot or pressed button is filled with COLOR_HIGHLIGHT, so its text takes the colour that goes with it.
    if (theme.highContrast && (hot || pressed)) {
        palette.text = system.highlightText;
    }

    if (kind == ButtonKind::Close) {
        palette.fill = palette.background;
        if (theme.highContrast) {
            palette.hoverFill = system.highlight;
        } else if (pressed) {
            palette.hoverFill = theme.darkMode ? ClosePressedDark : ClosePressedLight;
        } else {
            palette.hoverFill = CloseHover;
        }
        if (theme.highContrast && (hot || pressed)) {
            palette.text = system.highlightText;
        } else if (pressed) {
            palette.text = theme.darkMode ? White : ClosePressedLightX;
        } else if (hot) {
            palette.text = White;
        }
        // Pointed at or pressed, the close button is filled to its edge, where the focus frame lies: the
        // frame takes the X's colour, chosen for that fill (the window text on COLOR_HIGHLIGHT is 1.5:1 in
        // High Contrast Black).
        if (hot || pressed) {
            palette.focus = palette.text;
        }
    }
    return palette;
}

} // namespace ardenwick
