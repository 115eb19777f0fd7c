#pragma once

#include "common/unique_handle.h"

#include <windows.h>

namespace ardenwick {

template <typename T> struct GdiObjectTraits {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer object) noexcept { ::DeleteObject(object); }
};

struct IconTraits {
    using pointer = HICON;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer icon) noexcept { ::DestroyIcon(icon); }
};

/// A private font added with AddFontMemResourceEx.
struct FontResourceTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer font) noexcept { ::RemoveFontMemResourceEx(font); }
};

struct WindowTraits {
    using pointer = HWND;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer window) noexcept { ::DestroyWindow(window); }
};

/// A device context obtained with GetDC, released to its window.
class WindowDeviceContext {
public:
    explicit WindowDeviceContext(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    WindowDeviceContext(const WindowDeviceContext&) = delete;
    WindowDeviceContext& operator=(const WindowDeviceContext&) = delete;
    ~WindowDeviceContext() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    [[nodiscard]] HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

/// Selects a GDI object into a device context for one scope.
class ScopedSelection {
public:
    ScopedSelection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;
    ~ScopedSelection() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandle<GdiObjectTraits<HPEN>>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueFontResource = UniqueHandle<FontResourceTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;

} // namespace ardenwick
