// Every colour pair the window draws, measured by the WCAG 2 contrast ratio.
#include "ui/theme_colors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

constexpr ColorRef hex(std::uint32_t rrggbb) {
    return rgb(static_cast<std::uint8_t>(rrggbb >> 16), static_cast<std::uint8_t>(rrggbb >> 8),
               static_cast<std::uint8_t>(rrggbb));
}

double channel(std::uint32_t value) {
    const double c = static_cast<double>(value) / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// WCAG 2 relative luminance of a COLORREF (0x00BBGGRR).
double luminance(ColorRef color) {
    return 0.2126 * channel(color & 0xFF) + 0.7152 * channel((color >> 8) & 0xFF) +
           0.0722 * channel((color >> 16) & 0xFF);
}

double contrast(ColorRef a, ColorRef b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::string colorText(ColorRef color) {
    char text[8];
    std::snprintf(text, sizeof(text), "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    return text;
}

// The standard high-contrast themes of Windows 10 and 11, as their theme files set the system colours:
// window, window text, highlight, highlight text, button face, gray text.
struct NamedSystemColors {
    const char* name;
    SystemColors colors;
};
const NamedSystemColors highContrastThemes[] = {
    {"High Contrast Black",
     {hex(0x000000), hex(0xFFFFFF), hex(0x1AEBFF), hex(0x000000), hex(0x000000), hex(0x3FF23F)}},
    {"High Contrast White",
     {hex(0xFFFFFF), hex(0x000000), hex(0x37006E), hex(0xFFFFFF), hex(0xFFFFFF), hex(0x600000)}},
    {"High Contrast #1",
     {hex(0x000000), hex(0xFFFF00), hex(0x008000), hex(0xFFFFFF), hex(0x000000), hex(0x00FF00)}},
    {"High Contrast #2",
     {hex(0x000000), hex(0x00FF00), hex(0x0000FF), hex(0xFFFFFF), hex(0x000000), hex(0xFFFFFF)}},
};

constexpr double TextMinimum = 4.5;    // WCAG 2 AA, normal text
constexpr double GraphicMinimum = 3.0; // WCAG 2.1 non-text contrast: the close X, the focus outline

class PairCheck {
public:
    void require(const std::string& what, ColorRef foreground, ColorRef background, double minimum) {
        const double ratio = contrast(foreground, background);
        if (ratio < minimum) {
            char figure[16];
            std::snprintf(figure, sizeof(figure), "%.2f", ratio);
            failures_.push_back(what + ": " + colorText(foreground) + " on " + colorText(background) +
                                " is " + figure + ":1");
        }
    }
    [[nodiscard]] std::string report() const {
        std::string text;
        for (const std::string& failure : failures_) {
            text += failure + "\n";
        }
        return text;
    }
    [[nodiscard]] std::size_t failures() const { return failures_.size(); }

private:
    std::vector<std::string> failures_;
};

const char* kindName(ButtonKind kind) {
    switch (kind) {
    case ButtonKind::Secondary:
        return "secondary";
    case ButtonKind::Primary:
        return "primary";
    case ButtonKind::Tertiary:
        return "tertiary";
    case ButtonKind::Close:
        return "close";
    }
    return "?";
}

// What paintButton puts under the label or the X for one state, and what it draws on it. Disabled labels
// are left out: WCAG exempts inactive controls, and the window hides a button rather than disable it.
void checkButtons(PairCheck& check, const std::string& palette, const ThemeColors& theme,
                  const SystemColors& system) {
    for (ButtonKind kind :
         {ButtonKind::Secondary, ButtonKind::Primary, ButtonKind::Tertiary, ButtonKind::Close}) {
        for (const auto& [state, hot, pressed] :
             {std::tuple{"idle", false, false}, std::tuple{"hot", true, false},
              std::tuple{"pressed", false, true}, std::tuple{"hot and pressed", true, true}}) {
            const ButtonPalette colors = buttonPalette(theme, kind, hot, pressed, system);
            const bool active = hot || pressed;
            const std::string what = palette + ", " + kindName(kind) + " " + state;
            if (kind == ButtonKind::Close) {
                check.require(what + " X", colors.text, active ? colors.hoverFill : colors.background,
                              GraphicMinimum);
            } else {
                ColorRef under = active ? colors.hoverFill : colors.fill;
                if (kind == ButtonKind::Tertiary && !active) {
                    under = colors.background; // flat until pointed at
                }
                check.require(what + " label", colors.text, under, TextMinimum);
            }
            // The outline runs along the item's edge: on the card's background beside a text button's
            // rounded body, on the whole-item fill of a close button that is pointed at or pressed.
            const ColorRef beneath =
                kind == ButtonKind::Close && active ? colors.hoverFill : colors.background;
            check.require(what + " focus outline", colors.focus, beneath, GraphicMinimum);
        }
    }
}

void checkCard(PairCheck& check, const std::string& palette, const ThemeColors& theme) {
    check.require(palette + ", heading", theme.primaryText, theme.background, TextMinimum);
    check.require(palette + ", detail", theme.secondaryText, theme.background, TextMinimum);
}

TEST(ColourContrast, EveryPairOfEveryPaletteIsReadable) {
    // The light and dark palettes do not read the system colours; any values do.
    const SystemColors unused{};
    PairCheck check;
    checkCard(check, "light", themeColors(false, false, unused));
    checkButtons(check, "light", themeColors(false, false, unused), unused);
    checkCard(check, "dark", themeColors(true, false, unused));
    checkButtons(check, "dark", themeColors(true, false, unused), unused);
    for (const NamedSystemColors& contrastTheme : highContrastThemes) {
        const ThemeColors theme = themeColors(false, true, contrastTheme.colors);
        checkCard(check, contrastTheme.name, theme);
        checkButtons(check, contrastTheme.name, theme, contrastTheme.colors);
    }
    EXPECT_EQ(check.failures(), 0u) << check.report();

    // The progress bar is not text, so 3:1 against its track; in high contrast both are the user's own
    // system colours (COLOR_HIGHLIGHT on COLOR_BTNFACE), which the window does not second-guess.
    PairCheck bar;
    for (const bool dark : {false, true}) {
        const ThemeColors theme = themeColors(dark, false, unused);
        bar.require(dark ? "dark bar" : "light bar", theme.progressBar, theme.progressTrack, GraphicMinimum);
    }
    EXPECT_EQ(bar.failures(), 0u) << bar.report();
    const ThemeColors secondHighContrast = themeColors(false, true, highContrastThemes[3].colors);
    EXPECT_NEAR(contrast(secondHighContrast.progressBar, secondHighContrast.progressTrack), 2.44, 0.01)
        << "High Contrast #2 draws its bar in pure blue on black, the one pair below 3:1";

    // The measure itself: black on white is 21:1, a colour on itself 1:1, and #767676 the lightest grey
    // that passes 4.5:1 on white.
    EXPECT_NEAR(contrast(hex(0x000000), hex(0xFFFFFF)), 21.0, 1e-9);
    EXPECT_NEAR(contrast(hex(0x808080), hex(0x808080)), 1.0, 1e-9);
    EXPECT_GE(contrast(hex(0x767676), hex(0xFFFFFF)), TextMinimum);
    EXPECT_LT(contrast(hex(0x777777), hex(0xFFFFFF)), TextMinimum);
}

} // namespace
} // namespace ardenwick
