// The child controls: their creation, their layout for the window's DPI, and how they follow the status.
#include "ui/installation_view.h"

#include "resources/resource_ids.h"
#include "ui/control_layout.h"
#include "ui/display_dpi.h"
#include "ui/progress_bar_painter.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <array>

namespace ardenwick {
namespace {

constexpr UINT MarqueePeriodMs = 30;
constexpr int MaxComparedText = 1024;

HWND createChild(HWND parent, const wchar_t* className, DWORD style, int id) noexcept {
    return CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

UniqueFont createFont(const wchar_t* face, int size, int weight, int dpi) noexcept {
    return UniqueFont(CreateFontW(-scaleForDpi(size, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, face));
}

void moveIfChanged(HWND parent, HWND child, const PixelRect& target) noexcept {
    RECT current{};
    GetWindowRect(child, &current);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&current), 2);
    if (current.left != target.x || current.top != target.y || current.right - current.left != target.width ||
        current.bottom - current.top != target.height) {
        SetWindowPos(child, nullptr, target.x, target.y, target.width, target.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void moveTo(HWND child, const PixelRect& target) noexcept {
    SetWindowPos(child, nullptr, target.x, target.y, target.width, target.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// Returns whether the text changed.
bool setTextIfChanged(HWND control, const UiString& text) noexcept {
    std::array<wchar_t, MaxComparedText> current{};
    const int length = GetWindowTextW(control, current.data(), MaxComparedText);
    if (UiStringView(current.data(), static_cast<std::size_t>(length)) == text) {
        return false;
    }
    SetWindowTextW(control, text.c_str());
    return true;
}

bool shownByStyle(HWND control) noexcept {
    return (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void showIfChanged(HWND control, bool visible) noexcept {
    // The control's own style, not IsWindowVisible: before the card is shown every child reads as
    // invisible, and a button meant to be hidden would then stay visible.
    if (shownByStyle(control) != visible) {
        ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
    }
}

void enableIfChanged(HWND control, bool enabled) noexcept {
    if ((IsWindowEnabled(control) != FALSE) != enabled) {
        EnableWindow(control, enabled ? TRUE : FALSE);
    }
}

int labelWidth(HDC dc, HWND button) noexcept {
    std::array<wchar_t, MaxComparedText> text{};
    GetWindowTextW(button, text.data(), MaxComparedText);
    RECT bounds{};
    DrawTextW(dc, text.data(), -1, &bounds, DT_CALCRECT | DT_SINGLELINE | DT_HIDEPREFIX);
    return bounds.right - bounds.left;
}

} // namespace

void InstallationView::loadEmbeddedFont(HINSTANCE instance) noexcept {
    // The program still runs without its font: the label then falls back to a system face.
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(ARDENWICK_FONT_ID), RT_RCDATA);
    if (resource == nullptr) {
        return;
    }
    HGLOBAL loaded = LoadResource(instance, resource);
    const DWORD size = SizeofResource(instance, resource);
    void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0) {
        return;
    }
    DWORD fontCount = 0;
    embeddedFont_.reset(AddFontMemResourceEx(data, size, nullptr, &fontCount));
}

void InstallationView::createChildren() noexcept {
    productLabel_ = createChild(window_, L"STATIC", SS_LEFT, 0);
    icon_ = createChild(window_, L"STATIC", SS_ICON | SS_REALSIZEIMAGE, 0);
    closeButton_ = createChild(window_, L"BUTTON", WS_TABSTOP, CloseButtonId);
    heading_ = createChild(window_, L"STATIC", SS_CENTER, 0);
    detail_ = createChild(window_, L"STATIC", SS_CENTER, 0);
    progressBar_ = createChild(window_, PROGRESS_CLASSW, PBS_SMOOTH, 0);
    primaryButton_ = createChild(window_, L"BUTTON", WS_TABSTOP, PrimaryButtonId);
    secondaryButton_ = createChild(window_, L"BUTTON", WS_TABSTOP, SecondaryButtonId);
    tertiaryButton_ = createChild(window_, L"BUTTON", WS_TABSTOP, TertiaryButtonId);

    if (progressBar_ != nullptr) {
        SetWindowTheme(progressBar_, L"", L"");
        SetWindowLongPtrW(progressBar_, GWL_STYLE, GetWindowLongPtrW(progressBar_, GWL_STYLE) & ~WS_BORDER);
        SetWindowLongPtrW(progressBar_, GWL_EXSTYLE,
                          GetWindowLongPtrW(progressBar_, GWL_EXSTYLE) &
                              ~(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
        SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
        SetWindowSubclass(progressBar_, paintProgressBar, ProgressBarSubclassId, 0);
        SetWindowPos(progressBar_, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

int InstallationView::windowDpi() const noexcept {
    return static_cast<int>(dpiOfWindow(window_));
}

void InstallationView::layoutControls() noexcept {
    if (window_ == nullptr || closeButton_ == nullptr) {
        return;
    }
    const int dpi = windowDpi();
    RECT client{};
    GetClientRect(window_, &client);
    const ControlLayout layout =
        layoutControlsFor(client.right - client.left, client.bottom - client.top, dpi);
    moveTo(closeButton_, layout.closeButton);
    moveTo(icon_, layout.icon);
    moveTo(productLabel_, layout.productLabel);
    moveTo(heading_, layout.heading);
    moveTo(detail_, layout.detail);
    moveTo(progressBar_, layout.progressBar);

    // New fonts first, then the old ones go once no control uses them.
    UniqueFont body = createFont(L"Segoe UI", 14, FW_NORMAL, dpi);
    UniqueFont heading = createFont(L"Segoe UI", 20, FW_SEMIBOLD, dpi);
    UniqueFont product = createFont(L"Outfit", 32, FW_MEDIUM, dpi);
    for (HWND control : {closeButton_, detail_, primaryButton_, secondaryButton_, tertiaryButton_}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(body.get()), TRUE);
    }
    SendMessageW(heading_, WM_SETFONT, reinterpret_cast<WPARAM>(heading.get()), TRUE);
    SendMessageW(productLabel_, WM_SETFONT, reinterpret_cast<WPARAM>(product.get()), TRUE);
    bodyFont_ = std::move(body);
    headingFont_ = std::move(heading);
    productFont_ = std::move(product);

    const int iconSize = scaleForDpi(44, dpi);
    UniqueIcon icon(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(ARDENWICK_ICON_ID), IMAGE_ICON,
                                                  iconSize, iconSize, LR_DEFAULTCOLOR)));
    SendMessageW(icon_, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
    iconImage_ = std::move(icon);

    layoutButtons();
}

void InstallationView::layoutButtons() noexcept {
    if (window_ == nullptr || primaryButton_ == nullptr) {
        return;
    }
    RECT client{};
    GetClientRect(window_, &client);
    WindowDeviceContext dc(window_);
    if (dc.get() == nullptr) {
        return;
    }
    ScopedSelection selectFont(dc.get(), bodyFont_.get());
    const ButtonLayout layout =
        layoutButtonsFor(client.right - client.left, client.bottom - client.top, windowDpi(),
                         labelWidth(dc.get(), primaryButton_), labelWidth(dc.get(), secondaryButton_),
                         labelWidth(dc.get(), tertiaryButton_));
    moveIfChanged(window_, primaryButton_, layout.primary);
    moveIfChanged(window_, secondaryButton_, layout.secondary);
    moveIfChanged(window_, tertiaryButton_, layout.tertiary);
}

void InstallationView::followButtonsWithFocus() noexcept {
    const std::array<HWND, 4> order{primaryButton_, secondaryButton_, tertiaryButton_, closeButton_};
    std::array<FocusCandidate, 4> buttons{};
    for (std::size_t index = 0; index < order.size(); ++index) {
        buttons[index] = {shownByStyle(order[index]), IsWindowEnabled(order[index]) != FALSE};
    }
    if (buttons == focusButtons_) {
        return; // the same screen: the focus stays where the user put it
    }
    focusButtons_ = buttons;
    const std::optional<std::size_t> target = focusTarget(buttons);
    focusTarget_ = target ? order[*target] : nullptr;
    // A window not yet shown (or hidden) cannot take the focus; WM_ACTIVATE gives it when it is shown.
    if (IsWindowVisible(window_)) {
        restoreFocus();
    }
}

void InstallationView::restoreFocus() noexcept {
    if (focusTarget_ != nullptr && shownByStyle(focusTarget_) && IsWindowEnabled(focusTarget_) &&
        GetFocus() != focusTarget_) {
        SetFocus(focusTarget_);
    }
}

void InstallationView::refreshFromStatus() {
    if (window_ == nullptr || closeButton_ == nullptr) {
        return;
    }
    const InstallationStatus status = service_.currentStatus();
    const InstallationPresentation view = ardenwick::buildPresentation(status, strings_);
    const bool headingChanged = setTextIfChanged(heading_, view.heading);
    const bool detailChanged = setTextIfChanged(detail_, view.detail);
    setTextIfChanged(productLabel_, view.productLabel);
    setTextIfChanged(tertiaryButton_, view.tertiaryLabel);
    setTextIfChanged(closeButton_, view.closeButtonName);
    setTextIfChanged(primaryButton_, view.primaryLabel);
    setTextIfChanged(secondaryButton_, view.secondaryLabel);

    showIfChanged(detail_, !view.detail.empty());
    layoutButtons();

    showIfChanged(primaryButton_, view.showPrimary);
    showIfChanged(tertiaryButton_, view.showTertiary);
    enableIfChanged(secondaryButton_, view.secondaryEnabled);
    showIfChanged(secondaryButton_, view.secondaryEnabled);
    enableIfChanged(closeButton_, true);
    showIfChanged(closeButton_, true);
    followButtonsWithFocus();

    // A hidden window says nothing, and an emptied detail line is hidden with nothing left to read.
    if (IsWindowVisible(window_)) {
        if (headingChanged && !view.heading.empty()) {
            LiveRegions::announce(heading_);
        }
        if (detailChanged && !view.detail.empty()) {
            LiveRegions::announce(detail_);
        }
    }
    taskbarButton_.show(window_, taskbarProgressFor(status, IsWindowVisible(window_) != FALSE));

    const LONG_PTR style = GetWindowLongPtrW(progressBar_, GWL_STYLE);
    const bool marquee = (style & PBS_MARQUEE) != 0;
    if (view.progressPercent < 0) {
        if (!marquee) {
            SetWindowLongPtrW(progressBar_, GWL_STYLE, style | PBS_MARQUEE);
            SendMessageW(progressBar_, PBM_SETMARQUEE, TRUE, MarqueePeriodMs);
        }
    } else {
        if (marquee) {
            SendMessageW(progressBar_, PBM_SETMARQUEE, FALSE, 0);
            SetWindowLongPtrW(progressBar_, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
        }
        if (SendMessageW(progressBar_, PBM_GETPOS, 0, 0) != view.progressPercent) {
            SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(view.progressPercent), 0);
        }
    }
    InvalidateRect(progressBar_, nullptr, FALSE);
}

} // namespace ardenwick
