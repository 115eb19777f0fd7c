#pragma once

namespace ardenwick {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

/// A length given at 96 DPI in pixels of `dpi`, rounded as MulDiv rounds.
[[nodiscard]] int scaleForDpi(int value, int dpi) noexcept;

/// The window size at the system DPI.
inline constexpr int CardWidth = 560;
inline constexpr int CardHeight = 372;

/// Where the fixed children go in a client area of `width` × `height` pixels.
struct ControlLayout {
    PixelRect closeButton;
    PixelRect icon;
    PixelRect productLabel;
    PixelRect heading;
    PixelRect detail;
    PixelRect progressBar;
};

[[nodiscard]] ControlLayout layoutControlsFor(int width, int height, int dpi) noexcept;

/// The text buttons' rectangles from their measured label widths (pixels at `dpi`).
struct ButtonLayout {
    PixelRect primary;
    PixelRect secondary;
    PixelRect tertiary;
};

[[nodiscard]] ButtonLayout layoutButtonsFor(int width, int height, int dpi, int primaryTextWidth,
                                            int secondaryTextWidth, int tertiaryTextWidth) noexcept;

/// The filled part of the progress bar, from `left` to `right` pixels of a bar `width` wide.
struct BarSpan {
    int left = 0;
    int right = 0;

    friend bool operator==(const BarSpan&, const BarSpan&) = default;
};

/// Marquee: a quarter-width segment moving one pixel per 8 ms and wrapping.
[[nodiscard]] BarSpan marqueeSpan(int width, unsigned long long tickMilliseconds) noexcept;
/// Determinate: from 0 to `position` percent (clamped to 0-100).
[[nodiscard]] BarSpan determinateSpan(int width, int position) noexcept;

} // namespace ardenwick
