// The window's colours and the painting it does itself: background, labels and the four buttons.
#include "ui/installation_view.h"

#include "ui/button_painter.h"
#include "ui/window_theme.h"

#include <dwmapi.h>

namespace ardenwick {
namespace {

// Not in every SDK's dwmapi.h.
constexpr DWORD DwmUseImmersiveDarkMode = 20;

} // namespace

void InstallationView::applyTheme() noexcept {
    systemColors_ = currentSystemColors();
    const bool highContrast = highContrastSource_ != nullptr ? highContrastSource_() : highContrastEnabled();
    theme_ = themeColors(appsUseDarkTheme(), highContrast, systemColors_);
    backgroundBrush_.reset(CreateSolidBrush(theme_.background));
    const BOOL dark = theme_.darkMode && !theme_.highContrast ? TRUE : FALSE;
    DwmSetWindowAttribute(window_, DwmUseImmersiveDarkMode, &dark, sizeof(dark));
    if (progressBar_ != nullptr) {
        SendMessageW(progressBar_, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(theme_.progressBar));
        SendMessageW(progressBar_, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(theme_.progressTrack));
    }
    // The labels and the bar take their colours on their next paint, so they are redrawn with the window.
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT InstallationView::onEraseBackground(HDC dc) noexcept {
    RECT client{};
    GetClientRect(window_, &client);
    FillRect(dc, &client, backgroundBrush_.get());
    return 1;
}

LRESULT InstallationView::onStaticColor(HDC dc, HWND control) noexcept {
    SetTextColor(dc, control == detail_ ? theme_.secondaryText : theme_.primaryText);
    SetBkColor(dc, theme_.background);
    return reinterpret_cast<LRESULT>(backgroundBrush_.get());
}

LRESULT InstallationView::onCustomDraw(const NMCUSTOMDRAW& draw) noexcept {
    ButtonKind kind;
    if (draw.hdr.hwndFrom == primaryButton_) {
        kind = ButtonKind::Primary;
    } else if (draw.hdr.hwndFrom == secondaryButton_) {
        kind = ButtonKind::Secondary;
    } else if (draw.hdr.hwndFrom == tertiaryButton_) {
        kind = ButtonKind::Tertiary;
    } else if (draw.hdr.hwndFrom == closeButton_) {
        kind = ButtonKind::Close;
    } else {
        return CDRF_DODEFAULT;
    }
    // The colours of the fill paintButton draws: a disabled button is never filled as pointed at.
    const bool enabled = IsWindowEnabled(draw.hdr.hwndFrom) && (draw.uItemState & CDIS_DISABLED) == 0;
    const bool hot = enabled && (draw.uItemState & CDIS_HOT) != 0;
    const bool pressed = enabled && (draw.uItemState & CDIS_SELECTED) != 0;
    return paintButton(kind, buttonPalette(theme_, kind, hot, pressed, systemColors_), draw, bodyFont_.get());
}

} // namespace ardenwick
