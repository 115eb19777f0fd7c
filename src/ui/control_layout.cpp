#include "ui/control_layout.h"

#include <algorithm>
#include <cstdint>

namespace ardenwick {
namespace {

// MulDiv: the 64-bit product divided with rounding half away from zero.
int mulDiv(int value, int numerator, int denominator) noexcept {
    if (denominator == 0) {
        return -1;
    }
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    const std::int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t magnitude = (product < 0 ? -product : product) + half;
    const std::int64_t quotient = magnitude / (denominator < 0 ? -denominator : denominator);
    return static_cast<int>(negative ? -quotient : quotient);
}

} // namespace

int scaleForDpi(int value, int dpi) noexcept {
    return mulDiv(value, dpi, 96);
}

ControlLayout layoutControlsFor(int width, int height, int dpi) noexcept {
    (void)height;
    const auto s = [dpi](int value) { return scaleForDpi(value, dpi); };
    ControlLayout layout;
    layout.closeButton = {width - s(48), 0, s(48), s(48)};
    layout.icon = {s(140), s(72), s(44), s(44)};
    layout.productLabel = {s(200), s(74), s(240), s(44)};
    layout.heading = {s(48), s(156), width - s(96), s(32)};
    layout.detail = {s(48), s(196), width - s(96), s(48)};
    layout.progressBar = {s(48), s(256), width - s(96), s(4)};
    return layout;
}

ButtonLayout layoutButtonsFor(int width, int height, int dpi, int primaryTextWidth, int secondaryTextWidth,
                              int tertiaryTextWidth) noexcept {
    const auto s = [dpi](int value) { return scaleForDpi(value, dpi); };
    const int top = height - s(60);
    const int buttonHeight = s(36);
    const int padding = s(30); // 15 on either side of the label
    ButtonLayout layout;
    const int secondaryWidth = secondaryTextWidth + padding;
    layout.secondary = {width - s(48) - secondaryWidth, top, secondaryWidth, buttonHeight};
    const int primaryWidth = primaryTextWidth + padding;
    layout.primary = {layout.secondary.x - s(12) - primaryWidth, top, primaryWidth, buttonHeight};
    layout.tertiary = {s(44), top, tertiaryTextWidth + padding, buttonHeight};
    return layout;
}

BarSpan marqueeSpan(int width, unsigned long long tickMilliseconds) noexcept {
    if (width <= 0) {
        return {};
    }
    const int segment = width / 4;
    const auto cycle = static_cast<unsigned long long>(segment + width);
    const auto p = static_cast<int>((tickMilliseconds / 8) % cycle);
    return {std::max(0, p - segment), std::min(p, width)};
}

BarSpan determinateSpan(int width, int position) noexcept {
    const int clamped = std::clamp(position, 0, 100);
    return {0, std::max(0, mulDiv(width, clamped, 100))};
}

} // namespace ardenwick
