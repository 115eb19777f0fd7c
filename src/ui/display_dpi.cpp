#include "ui/display_dpi.h"

namespace ardenwick {
namespace {

template <typename Function> Function user32Function(const char* name) noexcept {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

} // namespace

void preferPerMonitorDpiAwareness() noexcept {
    using SetAwareness = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    if (const auto setAwareness = user32Function<SetAwareness>("SetProcessDpiAwarenessContext")) {
        // A system that refuses the call keeps what the manifest declared.
        (void)setAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
}

UINT systemDpi() noexcept {
    using DpiForSystem = UINT(WINAPI*)();
    if (const auto dpiForSystem = user32Function<DpiForSystem>("GetDpiForSystem")) {
        if (const UINT dpi = dpiForSystem(); dpi != 0) {
            return dpi;
        }
    }
    UINT dpi = 0;
    if (HDC screen = GetDC(nullptr)) {
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    return dpi == 0 ? USER_DEFAULT_SCREEN_DPI : dpi;
}

UINT dpiOfWindow(HWND window) noexcept {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    if (const auto dpiForWindow = user32Function<DpiForWindow>("GetDpiForWindow")) {
        if (const UINT dpi = dpiForWindow(window); dpi != 0) {
            return dpi;
        }
    }
    return systemDpi();
}

} // namespace ardenwick
