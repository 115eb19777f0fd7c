#include "ui/control_layout.h"
#include "ui/theme_colors.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

// Distinct made-up system colours, so a mix-up between two of them shows.
const SystemColors system{0x00010101, 0x00020202, 0x00030303, 0x00040404, 0x00050505, 0x00060606};

constexpr ColorRef hex(std::uint32_t rrggbb) {
    return rgb(static_cast<std::uint8_t>(rrggbb >> 16), static_cast<std::uint8_t>(rrggbb >> 8),
               static_cast<std::uint8_t>(rrggbb));
}

TEST(ThemeColors, LightDarkAndHighContrastTables) {
    EXPECT_EQ(rgb(0x12, 0x34, 0x56), 0x00563412u); // COLORREF order

    const ThemeColors light = themeColors(false, false, system);
    EXPECT_EQ(light, (ThemeColors{hex(0xF8F8F6), hex(0x1E1E1E), hex(0x515154), hex(0x1B1F24), hex(0xE2E8EA),
                                  false, false}));
    const ThemeColors dark = themeColors(true, false, system);
    EXPECT_EQ(dark, (ThemeColors{hex(0x181818), hex(0xFFFFFF), hex(0xA1A1A6), hex(0xFFFFFF), hex(0x424242),
                                 true, false}));
    // High contrast wins over dark mode.
    const ThemeColors contrast = themeColors(true, true, system);
    EXPECT_EQ(contrast, (ThemeColors{system.window, system.windowText, system.windowText, system.highlight,
                                     system.buttonFace, true, true}));
}

TEST(ButtonPalette, TextButtonsInLightAndDark) {
    const ThemeColors light = themeColors(false, false, system);
    const ThemeColors dark = themeColors(true, false, system);
    const ButtonPalette lightSecondary{hex(0xF8F8F6), hex(0x1E1E1E), hex(0xFFFFFF), hex(0xF2F2F2),
                                       hex(0xDFDFDD), hex(0x1E1E1E), hex(0x515154)};
    EXPECT_EQ(buttonPalette(light, ButtonKind::Secondary, false, false, system), lightSecondary);
    EXPECT_EQ(buttonPalette(light, ButtonKind::Tertiary, true, true, system), lightSecondary);
    EXPECT_EQ(buttonPalette(light, ButtonKind::Primary, false, false, system),
              (ButtonPalette{hex(0xF8F8F6), hex(0xFFFFFF), hex(0x1B1F24), hex(0x3C3C3C), hex(0xF9F9F7),
                             hex(0x1E1E1E), hex(0x515154)}));
    const ButtonPalette darkSecondary{hex(0x181818), hex(0xFFFFFF), hex(0x181818), hex(0x2A2A2A),
                                      hex(0x343434), hex(0xFFFFFF), hex(0xA1A1A6)};
    EXPECT_EQ(buttonPalette(dark, ButtonKind::Secondary, true, false, system), darkSecondary);
    EXPECT_EQ(buttonPalette(dark, ButtonKind::Tertiary, false, false, system), darkSecondary);
    EXPECT_EQ(buttonPalette(dark, ButtonKind::Primary, false, true, system),
              (ButtonPalette{hex(0x181818), hex(0x1B1F24), hex(0xFFFFFF), hex(0xD4D4D4), hex(0x2A2A2A),
                             hex(0xFFFFFF), hex(0xA1A1A6)}));
}

TEST(ButtonPalette, CloseButtonTurnsRedWithAWhiteX) {
    const ThemeColors light = themeColors(false, false, system);
    const ThemeColors dark = themeColors(true, false, system);

    ButtonPalette idle = buttonPalette(light, ButtonKind::Close, false, false, system);
    EXPECT_EQ(idle.fill, hex(0xF8F8F6));
    EXPECT_EQ(idle.text, hex(0x1E1E1E));
    EXPECT_EQ(idle.hoverFill, hex(0xE81123));
    ButtonPalette hot = buttonPalette(light, ButtonKind::Close, true, false, system);
    EXPECT_EQ(hot.hoverFill, hex(0xE81123));
    EXPECT_EQ(hot.text, hex(0xFFFFFF));
    EXPECT_EQ(hot.border, hex(0xDFDFDD));
    const ButtonPalette lightPressed = buttonPalette(light, ButtonKind::Close, true, true, system);
    EXPECT_EQ(lightPressed.hoverFill, hex(0xEE6E78));
    EXPECT_EQ(lightPressed.text, hex(0x1E1E1E)) << "a white X on the light pressed red is below 3:1";

    idle = buttonPalette(dark, ButtonKind::Close, false, false, system);
    EXPECT_EQ(idle.fill, hex(0x181818));
    EXPECT_EQ(idle.text, hex(0xFFFFFF));
    const ButtonPalette pressed = buttonPalette(dark, ButtonKind::Close, false, true, system);
    EXPECT_EQ(pressed.hoverFill, hex(0x94141F));
    EXPECT_EQ(pressed.text, hex(0xFFFFFF));
}

TEST(ButtonPalette, HighContrastTakesSystemColours) {
    const ThemeColors contrast = themeColors(true, true, system);
    const ButtonPalette text{system.window,     system.windowText, system.buttonFace, system.highlight,
                             system.windowText, system.windowText, system.grayText};
    ButtonPalette active = text;
    active.text = system.highlightText; // on the COLOR_HIGHLIGHT hover fill
    for (ButtonKind kind : {ButtonKind::Secondary, ButtonKind::Primary, ButtonKind::Tertiary}) {
        EXPECT_EQ(buttonPalette(contrast, kind, false, false, system), text);
        EXPECT_EQ(buttonPalette(contrast, kind, true, false, system), active);
        EXPECT_EQ(buttonPalette(contrast, kind, false, true, system), active);
    }
    const ButtonPalette idle = buttonPalette(contrast, ButtonKind::Close, false, false, system);
    EXPECT_EQ(idle.fill, system.window);
    EXPECT_EQ(idle.hoverFill, system.highlight);
    EXPECT_EQ(idle.text, system.windowText);
    const ButtonPalette pressed = buttonPalette(contrast, ButtonKind::Close, false, true, system);
    EXPECT_EQ(pressed.hoverFill, system.highlight);
    EXPECT_EQ(pressed.text, system.highlightText);
}

TEST(ControlLayout, TableAt96And144Dpi) {
    EXPECT_EQ(scaleForDpi(CardWidth, 144), 840);
    EXPECT_EQ(scaleForDpi(CardHeight, 144), 558);
    EXPECT_EQ(scaleForDpi(15, 144), 23); // rounds half away from zero, as MulDiv does
    EXPECT_EQ(scaleForDpi(7, 120), 9);
    EXPECT_EQ(scaleForDpi(-14, 144), -21);

    const ControlLayout at96 = layoutControlsFor(560, 372, 96);
    EXPECT_EQ(at96.closeButton, (PixelRect{512, 0, 48, 48}));
    EXPECT_EQ(at96.icon, (PixelRect{140, 72, 44, 44}));
    EXPECT_EQ(at96.productLabel, (PixelRect{200, 74, 240, 44}));
    EXPECT_EQ(at96.heading, (PixelRect{48, 156, 464, 32}));
    EXPECT_EQ(at96.detail, (PixelRect{48, 196, 464, 48}));
    EXPECT_EQ(at96.progressBar, (PixelRect{48, 256, 464, 4}));

    const ControlLayout at144 = layoutControlsFor(840, 558, 144);
    EXPECT_EQ(at144.closeButton, (PixelRect{768, 0, 72, 72}));
    EXPECT_EQ(at144.heading, (PixelRect{72, 234, 696, 48}));
    EXPECT_EQ(at144.progressBar, (PixelRect{72, 384, 696, 6}));
}

TEST(ControlLayout, ButtonsHangFromTheRightEdgeAndTertiaryFromTheLeft) {
    const ButtonLayout at96 = layoutButtonsFor(560, 372, 96, 60, 40, 150);
    EXPECT_EQ(at96.secondary, (PixelRect{560 - 48 - 70, 312, 70, 36}));
    EXPECT_EQ(at96.primary, (PixelRect{560 - 48 - 70 - 12 - 90, 312, 90, 36}));
    EXPECT_EQ(at96.tertiary, (PixelRect{44, 312, 180, 36}));

    const ButtonLayout at144 = layoutButtonsFor(840, 558, 144, 90, 60, 225);
    EXPECT_EQ(at144.secondary, (PixelRect{840 - 72 - 105, 558 - 90, 105, 54}));
    EXPECT_EQ(at144.primary, (PixelRect{840 - 72 - 105 - 18 - 135, 468, 135, 54}));
    EXPECT_EQ(at144.tertiary, (PixelRect{66, 468, 270, 54}));
}

TEST(ProgressBarSpan, MarqueeWrapsAndDeterminateClamps) {
    // Width 400: segment 100, cycle 500 positions of 8 ms.
    EXPECT_EQ(marqueeSpan(400, 0), (BarSpan{0, 0}));
    EXPECT_EQ(marqueeSpan(400, 8 * 50), (BarSpan{0, 50}));
    EXPECT_EQ(marqueeSpan(400, 8 * 250 + 7), (BarSpan{150, 250}));
    EXPECT_EQ(marqueeSpan(400, 8 * 450), (BarSpan{350, 400}));
    EXPECT_EQ(marqueeSpan(400, 8 * 499), (BarSpan{399, 400}));
    EXPECT_EQ(marqueeSpan(400, 8 * 500), (BarSpan{0, 0}));
    EXPECT_EQ(marqueeSpan(0, 12345), (BarSpan{0, 0}));
    // A bar narrower than 4 pixels has an empty segment; nothing is drawn and nothing divides by 0.
    EXPECT_EQ(marqueeSpan(3, 8 * 2), (BarSpan{2, 2}));

    EXPECT_EQ(determinateSpan(464, 25), (BarSpan{0, 116}));
    EXPECT_EQ(determinateSpan(464, 33), (BarSpan{0, 153})); // 153.12
    EXPECT_EQ(determinateSpan(464, 100), (BarSpan{0, 464}));
    EXPECT_EQ(determinateSpan(464, 250), (BarSpan{0, 464}));
    EXPECT_EQ(determinateSpan(464, -5), (BarSpan{0, 0}));
}

} // namespace
} // namespace ardenwick
