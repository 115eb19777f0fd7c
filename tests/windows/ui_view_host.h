#pragma once

#include "ui/installation_view.h"
#include "ui/instance_window.h"
#include "ui/localized_strings.h"
#include "ui/ui_text.h"
#include "ui_scripted_service.h"

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ardenwick::test {

/// Waits for a condition the window reaches on one of its 100 ms ticks. The limit only keeps a broken
/// build from hanging; a passing run never comes near it.
inline bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

/// The window's texts in English, which most window tests read.
inline const LocalizedStrings& english() {
    return stringsForLanguage(L"en-US");
}

inline std::u16string windowText(HWND window) {
    wchar_t buffer[1024] = {};
    const int length = GetWindowTextW(window, buffer, 1024);
    return std::u16string(buffer, buffer + length);
}

/// Runs an InstallationView on its own thread (the window's message loop), as the program's main thread
/// would, while the test thread plays the user and reads the controls.
class ViewHost {
public:
    explicit ViewHost(const LocalizedStrings& strings, std::function<void(HWND)> onCreated = {},
                      InstallationView::HighContrastSource highContrast = nullptr)
        : strings_(strings), onCreated_(std::move(onCreated)), highContrast_(highContrast) {}
    ViewHost(const ViewHost&) = delete;
    ViewHost& operator=(const ViewHost&) = delete;
    ~ViewHost() {
        if (thread_.joinable()) {
            if (HWND window = window_.load()) {
                PostMessageW(window, WM_CLOSE, 0, 0);
                service.setKind(InstallationKind::InstallationFailed);
            }
            thread_.join();
        }
    }

    /// Runs `before` on the window's thread ahead of the view, and `after` once the view is gone: to put
    /// objects in the window's apartment before it creates its own.
    void aroundView(std::function<void()> before, std::function<void()> after) {
        beforeView_ = std::move(before);
        afterView_ = std::move(after);
    }

    /// Starts the view and waits until its window is visible and has reported itself.
    bool start() {
        thread_ = std::thread([this] {
            uiThreadId_ = GetCurrentThreadId();
            if (beforeView_) {
                beforeView_();
            }
            runView();
            if (afterView_) {
                afterView_();
            }
        });
        if (!eventually([this] { return createdCallbacks.load() > 0 || finished.load(); })) {
            return false;
        }
        window_ = createdWindow.load();
        return window_.load() != nullptr;
    }

    [[nodiscard]] HWND window() const { return window_.load(); }
    [[nodiscard]] bool windowExists() const { return IsWindow(window_.load()) != FALSE; }
    [[nodiscard]] DWORD uiThreadId() const { return uiThreadId_.load(); }

    /// The children in creation order: product label, icon, close, heading, detail, progress bar, primary,
    /// secondary, tertiary.
    [[nodiscard]] std::vector<HWND> children() const {
        std::vector<HWND> result;
        for (HWND child = GetWindow(window(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            result.push_back(child);
        }
        return result;
    }
    [[nodiscard]] HWND productLabel() const { return child(0); }
    [[nodiscard]] HWND icon() const { return child(1); }
    [[nodiscard]] HWND closeButton() const { return GetDlgItem(window(), 4); }
    [[nodiscard]] HWND heading() const { return child(3); }
    [[nodiscard]] HWND detail() const { return child(4); }
    [[nodiscard]] HWND progressBar() const { return child(5); }
    [[nodiscard]] HWND primaryButton() const { return GetDlgItem(window(), 1); }
    [[nodiscard]] HWND secondaryButton() const { return GetDlgItem(window(), 2); }
    [[nodiscard]] HWND tertiaryButton() const { return GetDlgItem(window(), 3); }

    [[nodiscard]] HWND focusedControl() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(uiThreadId(), &info) ? info.hwndFocus : nullptr;
    }

    /// Waits for the message loop to end and gives run's result.
    int join() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return exitCode.load();
    }

    ScriptedInstallationService service;
    std::atomic<int> createdCallbacks{0};
    std::atomic<HWND> createdWindow{nullptr};
    std::atomic<int> startsAfterConstruction{-1};
    std::atomic<int> exitCode{-99};
    std::atomic<bool> finished{false};

private:
    void runView() {
        InstallationView view(service, strings_);
        if (highContrast_ != nullptr) {
            view.readHighContrastFrom(highContrast_);
        }
        startsAfterConstruction = service.starts.load();
        exitCode = view.run(GetModuleHandleW(nullptr), [this](HWND window) {
            // The test's own marking first: start() returns once the count moves, and the test may read
            // what the marking left on the window at once.
            if (onCreated_) {
                onCreated_(window);
            }
            createdWindow = window;
            ++createdCallbacks;
        });
        finished = true;
    }

    [[nodiscard]] HWND child(std::size_t index) const {
        const std::vector<HWND> all = children();
        return index < all.size() ? all[index] : nullptr;
    }

    LocalizedStrings strings_;
    std::function<void(HWND)> onCreated_;
    std::function<void()> beforeView_;
    std::function<void()> afterView_;
    InstallationView::HighContrastSource highContrast_;
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<DWORD> uiThreadId_{0};
};

} // namespace ardenwick::test
