#include "ui/installation_view.h"

#include "resources/resource_ids.h"
#include "ui/button_painter.h"
#include "ui/control_layout.h"
#include "ui/find_window_of_process.h"
#include "ui/instance_window.h"
#include "ui/progress_bar_painter.h"
#include "ui/window_theme.h"

#include <commctrl.h>
#include <dwmapi.h>
#include <uxtheme.h>

#include <array>

namespace ardenwick {
namespace {

constexpr UINT_PTR RefreshTimerId = 1;
constexpr UINT RefreshIntervalMs = 100;
constexpr UINT MarqueePeriodMs = 30;
constexpr int MaxComparedText = 1024;

constexpr int PrimaryButtonId = 1;   // IDOK: Enter without a focused button
constexpr int SecondaryButtonId = 2; // IDCANCEL: Esc
constexpr int TertiaryButtonId = 3;
constexpr int CloseButtonId = 4;

// Not in every SDK's dwmapi.h.
constexpr DWORD DwmUseImmersiveDarkMode = 20;
constexpr DWORD DwmWindowCornerPreference = 33;
constexpr DWORD DwmCornerRound = 2;

constexpr int DragBandHeight = 48;

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

void setTextIfChanged(HWND control, const UiString& text) noexcept {
    std::array<wchar_t, MaxComparedText> current{};
    const int length = GetWindowTextW(control, current.data(), MaxComparedText);
    if (UiStringView(current.data(), static_cast<std::size_t>(length)) != text) {
        SetWindowTextW(control, text.c_str());
    }
}

void showIfChanged(HWND control, bool visible) noexcept {
    // The control's own style, not IsWindowVisible: before the card is shown every child reads as
    // invisible, and a button meant to be hidden would then stay visible.
    const bool shown = (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != visible) {
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

InstallationView::InstallationView(IInstallationService& service, const LocalizedStrings& strings)
    : service_(service), strings_(strings) {
    service_.startInstallation();
}

InstallationView::~InstallationView() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

InstallationPresentation InstallationView::buildPresentation() const {
    return ardenwick::buildPresentation(service_.currentStatus(), strings_);
}

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

int InstallationView::run(HINSTANCE instance, WindowCreatedCallback onWindowCreated) {
    onWindowCreated_ = std::move(onWindowCreated);
    instance_ = instance;

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    loadEmbeddedFont(instance);
    const InstallationPresentation first = buildPresentation();

    // The manifest already declares the awareness; a system that refuses the call keeps that.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(ARDENWICK_ICON_ID));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = InstallationWindowClass;
    if (RegisterClassExW(&windowClass) == 0) {
        const DWORD error = GetLastError();
        if (error != ERROR_CLASS_ALREADY_EXISTS) {
            return 1;
        }
    }

    const int dpi = static_cast<int>(GetDpiForSystem());
    const int width = scaleForDpi(CardWidth, dpi);
    const int height = scaleForDpi(CardHeight, dpi);
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const int x = (workArea.left + workArea.right - width) / 2;
    const int y = (workArea.top + workArea.bottom - height) / 2;

    if (CreateWindowExW(WS_EX_CONTROLPARENT, InstallationWindowClass, first.caption.c_str(),
                        WS_POPUP | WS_SYSMENU, x, y, width, height, nullptr, nullptr, instance,
                        this) == nullptr) {
        return 1;
    }

    const DWORD corner = DwmCornerRound;
    DwmSetWindowAttribute(window_, DwmWindowCornerPreference, &corner, sizeof(corner));
    SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    // The first frame already shows the current status, not every control at once.
    refreshFromStatus();
    ShowWindow(window_, SW_SHOWNORMAL);

    MSG message{};
    BOOL result = 0;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) {
            if (window_ != nullptr) {
                DestroyWindow(window_);
            }
            return 1;
        }
        if (window_ != nullptr && IsDialogMessageW(window_, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK InstallationView::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* view = static_cast<InstallationView*>(create->lpCreateParams);
        view->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    }
    auto* view = reinterpret_cast<InstallationView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }

    switch (message) {
    case WM_NCCALCSIZE:
        if (wParam == TRUE) {
            return 0; // the client area is the whole window: no frame, no caption
        }
        break;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    default:
        break;
    }

    std::optional<LRESULT> handled = view->handleMessage(message, wParam, lParam);

    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    } else if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        view->window_ = nullptr;
        view->productLabel_ = view->icon_ = view->heading_ = view->detail_ = view->progressBar_ = nullptr;
        view->primaryButton_ = view->secondaryButton_ = view->tertiaryButton_ = view->closeButton_ = nullptr;
    }
    if (handled) {
        return *handled;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::optional<LRESULT> InstallationView::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
        case WM_CREATE:
            createChildren();
            applyTheme();
            layoutControls();
            refreshFromStatus();
            SetTimer(window_, RefreshTimerId, RefreshIntervalMs, nullptr);
            SetFocus(secondaryButton_);
            return 0;
        case WM_DESTROY:
            KillTimer(window_, RefreshTimerId);
            return 0;
        case WM_SIZE:
            if (closeButton_ != nullptr) {
                layoutControls();
            }
            return std::nullopt;
        case WM_DPICHANGED:
            layoutControls();
            return 0;
        case WM_CLOSE:
            closeRequested();
            return 0;
        case WM_ERASEBKGND: {
            RECT client{};
            GetClientRect(window_, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, backgroundBrush_.get());
            return 1;
        }
        case WM_SETTINGCHANGE:
        case WM_THEMECHANGED:
            applyTheme();
            return std::nullopt;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == NM_CUSTOMDRAW) {
                return onCustomDraw(*reinterpret_cast<const NMCUSTOMDRAW*>(lParam));
            }
            return std::nullopt;
        }
        case WM_NCHITTEST: {
            POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ScreenToClient(window_, &point);
            RECT client{};
            GetClientRect(window_, &client);
            const int band = scaleForDpi(DragBandHeight, windowDpi());
            // The band above the content drags the window; the close button's corner does not.
            if (point.y >= 0 && point.y < band && point.x < client.right - band) {
                return HTCAPTION;
            }
            return HTCLIENT;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                onCommand(LOWORD(wParam));
                return 0;
            }
            return std::nullopt;
        case WM_TIMER:
            if (wParam == RefreshTimerId) {
                onTimer();
                return 0;
            }
            return std::nullopt;
        case WM_CTLCOLORSTATIC: {
            auto dc = reinterpret_cast<HDC>(wParam);
            const bool detail = reinterpret_cast<HWND>(lParam) == detail_;
            SetTextColor(dc, detail ? theme_.secondaryText : theme_.primaryText);
            SetBkColor(dc, theme_.background);
            return reinterpret_cast<LRESULT>(backgroundBrush_.get());
        }
        case ActivateInstanceMessage:
            ShowWindow(window_, SW_RESTORE);
            SetForegroundWindow(window_);
            return 0;
        default:
            return std::nullopt;
        }
    } catch (...) {
        // Nothing may unwind through user32; a failed step leaves the window as it was until the next tick.
        return std::nullopt;
    }
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

void InstallationView::applyTheme() noexcept {
    systemColors_ = currentSystemColors();
    theme_ = themeColors(appsUseDarkTheme(), highContrastEnabled(), systemColors_);
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

int InstallationView::windowDpi() const noexcept {
    const UINT dpi = GetDpiForWindow(window_);
    return dpi == 0 ? USER_DEFAULT_SCREEN_DPI : static_cast<int>(dpi);
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

void InstallationView::refreshFromStatus() {
    if (window_ == nullptr || closeButton_ == nullptr) {
        return;
    }
    const InstallationPresentation view = buildPresentation();
    setTextIfChanged(heading_, view.heading);
    setTextIfChanged(detail_, view.detail);
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

void InstallationView::onTimer() {
    refreshFromStatus();
    if (window_ == nullptr) {
        return;
    }
    if (onWindowCreated_ && IsWindowVisible(window_)) {
        WindowCreatedCallback callback = std::move(onWindowCreated_);
        onWindowCreated_ = nullptr;
        callback(window_);
        if (window_ == nullptr) {
            return;
        }
    }

    const InstallationPresentation view = buildPresentation();
    if (view.dismiss) {
        if (view.applicationProcessId != 0 && IsWindowVisible(window_) && GetForegroundWindow() == window_) {
            if (HWND application = mainWindowOfProcess(view.applicationProcessId)) {
                if (IsIconic(application)) {
                    ShowWindowAsync(application, SW_RESTORE);
                }
                SetForegroundWindow(application);
            }
        }
        DestroyWindow(window_);
    } else if (!IsWindowVisible(window_) && view.secondaryEnabled) {
        // A window hidden while the installation ran goes away once the installation has ended.
        DestroyWindow(window_);
    }
}

void InstallationView::onCommand(int id) {
    // Enter and Esc arrive as commands 1 and 2 whatever the screen shows; a hidden button's command
    // does nothing.
    const InstallationStatus status = service_.currentStatus();
    const InstallationPresentation view = ardenwick::buildPresentation(status, strings_);
    switch (id) {
    case PrimaryButtonId:
        if (!view.showPrimary) {
            break;
        }
        if (status.kind == InstallationKind::AlreadyInstalled ||
            status.kind == InstallationKind::LaunchFailed) {
            service_.openApplication();
        } else {
            service_.startInstallation();
        }
        refreshFromStatus();
        break;
    case SecondaryButtonId:
        if (!view.secondaryEnabled) {
            break;
        }
        if (status.kind == InstallationKind::UpdateFailed) {
            service_.openApplication();
            refreshFromStatus();
        } else {
            DestroyWindow(window_);
        }
        break;
    case TertiaryButtonId:
        if (view.showTertiary) {
            service_.openFullInstallerDownload();
        }
        break;
    case CloseButtonId:
        SendMessageW(window_, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void InstallationView::closeRequested() {
    if (buildPresentation().secondaryEnabled) {
        DestroyWindow(window_);
    } else {
        ShowWindow(window_, SW_HIDE); // the installation goes on; the window returns on activation
    }
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
    const bool hot = (draw.uItemState & CDIS_HOT) != 0;
    const bool pressed = (draw.uItemState & CDIS_SELECTED) != 0;
    return paintButton(kind, buttonPalette(theme_, kind, hot, pressed, systemColors_), draw, bodyFont_.get());
}

} // namespace ardenwick
