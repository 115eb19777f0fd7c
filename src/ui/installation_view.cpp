// The window itself: its class, creation and message loop, and what each message and button does.
#include "ui/installation_view.h"

#include "resources/resource_ids.h"
#include "ui/control_layout.h"
#include "ui/display_dpi.h"
#include "ui/find_window_of_process.h"
#include "ui/instance_window.h"

#include <dwmapi.h>

namespace ardenwick {
namespace {

constexpr UINT_PTR RefreshTimerId = 1;
constexpr UINT RefreshIntervalMs = 100;

// Not in every SDK's dwmapi.h.
constexpr DWORD DwmWindowCornerPreference = 33;
constexpr DWORD DwmCornerRound = 2;

constexpr int DragBandHeight = 48;

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

int InstallationView::run(HINSTANCE instance, WindowCreatedCallback onWindowCreated) {
    onWindowCreated_ = std::move(onWindowCreated);
    instance_ = instance;

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    loadEmbeddedFont(instance);
    const InstallationPresentation first = buildPresentation();

    preferPerMonitorDpiAwareness();

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

    const int dpi = static_cast<int>(systemDpi());
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
    // A copy run as administrator runs at high integrity, where Windows drops what a normal copy posts
    // unless the window lets that one message in.
    ChangeWindowMessageFilterEx(window_, ActivateInstanceMessage, MSGFLT_ALLOW, nullptr);

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
            liveRegions_.mark(heading_);
            liveRegions_.mark(detail_);
            refreshFromStatus();
            SetTimer(window_, RefreshTimerId, RefreshIntervalMs, nullptr);
            return 0;
        case WM_DESTROY:
            KillTimer(window_, RefreshTimerId);
            liveRegions_.clear();
            taskbarButton_.release();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                // Coming back, the user finds the button they had reached with Tab.
                HWND focused = GetFocus();
                if (focused != nullptr && IsChild(window_, focused)) {
                    focusTarget_ = focused;
                }
                return std::nullopt;
            }
            if (focusTarget_ != nullptr && HIWORD(wParam) == 0) {
                restoreFocus();
                return 0;
            }
            return std::nullopt;
        case WM_SETFOCUS:
            if (focusTarget_ != nullptr) {
                restoreFocus();
                return 0;
            }
            return std::nullopt;
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
        case WM_ERASEBKGND:
            return onEraseBackground(reinterpret_cast<HDC>(wParam));
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
        case WM_CTLCOLORSTATIC:
            return onStaticColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case ActivateInstanceMessage:
            ShowWindow(window_, SW_RESTORE);
            SetForegroundWindow(window_);
            return 0;
        default:
            if (message != 0 && message == taskbarButton_.createdMessage()) {
                taskbarButton_.buttonCreated(window_);
                return 0;
            }
            return std::nullopt;
        }
    } catch (...) {
        // Nothing may unwind through user32; a failed step leaves the window as it was until the next tick.
        return std::nullopt;
    }
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
        taskbarButton_.show(window_, {});
    }
}

} // namespace ardenwick
