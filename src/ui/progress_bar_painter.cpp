#include "ui/progress_bar_painter.h"

#include "ui/control_layout.h"
#include "ui/gdi_handles.h"

#include <commctrl.h>

namespace ardenwick {
namespace {

void fillSpan(HDC dc, const RECT& client, int left, int right, COLORREF color) noexcept {
    if (right <= left) {
        return;
    }
    UniqueBrush brush(CreateSolidBrush(color));
    if (brush) {
        const RECT part{client.left + left, client.top, client.left + right, client.bottom};
        FillRect(dc, &part, brush.get());
    }
}

void paint(HWND bar, HDC dc) noexcept {
    RECT client{};
    GetClientRect(bar, &client);
    const int width = client.right - client.left;
    const auto track = static_cast<COLORREF>(SendMessageW(bar, PBM_GETBKCOLOR, 0, 0));
    const auto fill = static_cast<COLORREF>(SendMessageW(bar, PBM_GETBARCOLOR, 0, 0));
    BarSpan span;
    if ((GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE) != 0) {
        span = marqueeSpan(width, GetTickCount64());
    } else {
        span = determinateSpan(width, static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)));
    }
    // Track, bar and track again side by side: each pixel is painted once, so nothing flickers.
    fillSpan(dc, client, 0, span.left, track);
    fillSpan(dc, client, span.left, span.right, fill);
    fillSpan(dc, client, span.right, width, track);
}

} // namespace

LRESULT CALLBACK paintProgressBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId,
                                  DWORD_PTR) noexcept {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paintStruct{};
        if (HDC dc = BeginPaint(bar, &paintStruct)) {
            paint(bar, dc);
            EndPaint(bar, &paintStruct);
        }
        return 0;
    }
    case WM_PRINTCLIENT:
        paint(bar, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_NCDESTROY:
        RemoveWindowSubclass(bar, paintProgressBar, subclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(bar, message, wParam, lParam);
}

} // namespace ardenwick
