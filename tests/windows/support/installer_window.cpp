#include "support/installer_window.h"

#include "common/text_conversion.h"
#include "support/process_runner.h"
#include "support/thread_stacks.h"

#include <filesystem>

namespace ardenwick::testing {

namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findByProcess(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64]{};
    GetClassNameW(window, className, 64);
    if (owner == search->processId && std::wstring(className) == L"ArdenwickInstallation") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findAnyInstallerWindow(DWORD processId) {
    WindowSearch search{processId, nullptr};
    EnumWindows(findByProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring controlText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return text;
}

struct ButtonSearch {
    const std::wstring* label;
    HWND found;
};

BOOL CALLBACK findButton(HWND control, LPARAM parameter) {
    auto* search = reinterpret_cast<ButtonSearch*>(parameter);
    wchar_t className[32]{};
    GetClassNameW(control, className, 32);
    if (IsWindowVisible(control) && _wcsicmp(className, L"Button") == 0 &&
        controlText(control) == *search->label) {
        search->found = control;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND findInstallerWindow(DWORD processId) {
    HWND window = findAnyInstallerWindow(processId);
    return window && IsWindowVisible(window) ? window : nullptr;
}

std::wstring visibleWindowText(HWND window) {
    std::wstring line;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM parameter) -> BOOL {
            auto* joined = reinterpret_cast<std::wstring*>(parameter);
            if (IsWindowVisible(child)) {
                const std::wstring text = controlText(child);
                if (!text.empty()) {
                    *joined += (joined->empty() ? L"" : L" | ") + text;
                }
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&line));
    return IsWindowVisible(window) ? line : L"(hidden) " + line;
}

WatchedProgram::WatchedProgram(const std::filesystem::path& program, const std::wstring& arguments) {
    StartedProcess started = startProgram(program, arguments);
    process_ = std::move(started.process);
    processId_ = started.processId;
}

WatchedProgram::~WatchedProgram() {
    if (process_ && WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 10000);
    }
}

void WatchedProgram::observe() {
    HWND window = findAnyInstallerWindow(processId_);
    if (!window) {
        return;
    }
    // The controls are read one by one while the window's thread may be updating them, so a single
    // pass can join the old heading to the new buttons. A screen counts once two passes agree.
    std::wstring screen = visibleWindowText(window);
    for (int pass = 0; pass < 5; ++pass) {
        std::wstring again = visibleWindowText(window);
        if (again == screen) {
            break;
        }
        screen = std::move(again);
        if (pass == 4) {
            return;
        }
    }
    if (screens_.empty() || screens_.back() != screen) {
        screens_.push_back(std::move(screen));
    }
}

bool WatchedProgram::waitForScreen(const std::wstring& text, std::uint32_t timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (process_ && GetTickCount64() < deadline) {
        observe();
        if (!screens_.empty() && screens_.back().find(text) != std::wstring::npos &&
            screens_.back().rfind(L"(hidden)", 0) != 0) {
            return true;
        }
        if (WaitForSingleObject(process_.get(), 25) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return false;
}

std::optional<std::uint32_t> WatchedProgram::waitForExit(std::uint32_t timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (process_ && GetTickCount64() < deadline) {
        observe();
        if (WaitForSingleObject(process_.get(), 25) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process_.get(), &code);
            return code;
        }
    }
    return std::nullopt;
}

void WatchedProgram::closeWindow() {
    if (HWND window = findAnyInstallerWindow(processId_)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

bool WatchedProgram::pressButton(const std::wstring& label) {
    HWND window = findInstallerWindow(processId_);
    if (!window) {
        return false;
    }
    ButtonSearch search{&label, nullptr};
    EnumChildWindows(window, findButton, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
        return false;
    }
    // What the button sends its parent when clicked.
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(search.found), BN_CLICKED),
                        reinterpret_cast<LPARAM>(search.found)) != FALSE;
}

std::wstring WatchedProgram::screensText() const {
    std::wstring text;
    for (const auto& screen : screens_) {
        text += L"\n  " + screen;
    }
    // A wait that failed because the program had ended reads differently from one that ran out of time.
    DWORD code = STILL_ACTIVE;
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process_.get(), &code)) {
        text += L"\n  (the program ended with exit code " + std::to_wstring(code) + L")";
    } else {
        // Still running: with no window at all, or one that is there but hidden, the screens above are
        // not what a user sees now.
        const HWND window = findAnyInstallerWindow(processId_);
        text += L"\n  (the program is still running, ";
        text += window == nullptr         ? L"with no installer window)"
                : IsWindowVisible(window) ? L"its window shown)"
                                          : L"its window hidden)";
        // Where it waits instead of moving on.
        const std::string stacks = threadStacksText(processId_);
        if (!stacks.empty()) {
            text += L"\n  its threads:\n" + utf8ToWide(stacks);
        }
    }
    return text;
}

} // namespace ardenwick::testing
