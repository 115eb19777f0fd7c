#include "ui/button_painter.h"

#include "ui/control_layout.h"
#include "ui/display_dpi.h"
#include "ui/gdi_handles.h"

namespace ardenwick {
namespace {

void fillRectangle(HDC dc, const RECT& rect, ColorRef color) noexcept {
    UniqueBrush brush(CreateSolidBrush(color));
    if (brush) {
        FillRect(dc, &rect, brush.get());
    }
}

} // namespace

LRESULT paintButton(ButtonKind kind, const ButtonPalette& palette, const NMCUSTOMDRAW& draw,
                    HFONT bodyFont) noexcept {
    if (draw.dwDrawStage != CDDS_PREPAINT) {
        return 0;
    }
    HDC dc = draw.hdc;
    HWND button = draw.hdr.hwndFrom;
    const int dpi = static_cast<int>(dpiOfWindow(button));
    const auto s = [dpi](int value) { return scaleForDpi(value, dpi); };
    const bool enabled = IsWindowEnabled(button) && (draw.uItemState & CDIS_DISABLED) == 0;
    const bool pressed = (draw.uItemState & CDIS_SELECTED) != 0;
    const bool active = enabled && (pressed || (draw.uItemState & CDIS_HOT) != 0);

    fillRectangle(dc, draw.rc, palette.background);

    if (kind == ButtonKind::Close) {
        fillRectangle(dc, draw.rc, active ? palette.hoverFill : palette.background);
        const int centerX = (draw.rc.left + draw.rc.right) / 2;
        const int centerY = (draw.rc.top + draw.rc.bottom) / 2;
        const int arm = s(5);
        UniquePen pen(CreatePen(PS_SOLID, s(1), palette.text));
        if (pen) {
            ScopedSelection selectPen(dc, pen.get());
            MoveToEx(dc, centerX - arm, centerY - arm, nullptr);
            LineTo(dc, centerX + arm, centerY + arm);
            MoveToEx(dc, centerX + arm, centerY - arm, nullptr);
            LineTo(dc, centerX - arm, centerY + arm);
        }
    } else {
        RECT body = draw.rc;
        InflateRect(&body, -s(2), -s(2));
        ColorRef fill = palette.fill;
        if (kind == ButtonKind::Tertiary) {
            fill = active ? palette.hoverFill : palette.background; // flat until pointed at
        } else if (active) {
            fill = palette.hoverFill;
        }
        const ColorRef outline = kind == ButtonKind::Tertiary ? palette.background : palette.border;
        UniqueBrush brush(CreateSolidBrush(fill));
        UniquePen pen(CreatePen(PS_SOLID, s(1), outline));
        if (brush && pen) {
            ScopedSelection selectBrush(dc, brush.get());
            ScopedSelection selectPen(dc, pen.get());
            RoundRect(dc, body.left, body.top, body.right, body.bottom, s(8), s(8));
        }

        wchar_t text[513] = {};
        GetWindowTextW(button, text, 513);
        RECT textRect = draw.rc;
        if (pressed) {
            OffsetRect(&textRect, 0, s(1));
        }
        ScopedSelection selectFont(dc, bodyFont);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, enabled ? palette.text : palette.disabledText);
        DrawTextW(dc, text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_HIDEPREFIX);
    }

    if ((draw.uItemState & CDIS_FOCUS) != 0) {
        const LRESULT uiState = SendMessageW(button, WM_QUERYUISTATE, 0, 0);
        if ((uiState & UISF_HIDEFOCUS) == 0) {
            // A solid frame in the focus colour: DrawFocusRect's dotted XOR ignores the colour and, on the
            // light card, is too faint to find.
            UniqueBrush focus(CreateSolidBrush(palette.focus));
            if (focus) {
                FrameRect(dc, &draw.rc, focus.get());
            }
        }
    }
    return CDRF_SKIPDEFAULT;
}

} // namespace ardenwick
