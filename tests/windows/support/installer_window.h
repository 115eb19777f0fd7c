#pragma once

#include "common/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ardenwick::testing {

/// The visible installer window ("ArdenwickInstallation") of a process, or null.
[[nodiscard]] HWND findInstallerWindow(DWORD processId);

/// What the installer window shows, read from outside as a user would see it: the texts of its visible
/// controls in their order, joined with " | ". "(hidden)" when the window exists but is not shown.
[[nodiscard]] std::wstring visibleWindowText(HWND window);

/// Ardenwick-Setup.exe (or another program) started for a test and watched from outside. Every change
/// of what its window shows is kept, in order, so a test can check the screens a user went through.
class WatchedProgram {
public:
    WatchedProgram(const std::filesystem::path& program, const std::wstring& arguments);
    ~WatchedProgram();
    WatchedProgram(const WatchedProgram&) = delete;
    WatchedProgram& operator=(const WatchedProgram&) = delete;

    [[nodiscard]] bool started() const { return static_cast<bool>(process_); }
    [[nodiscard]] DWORD processId() const { return processId_; }

    /// Watches until the window shows a screen containing `text`; false if the program ended or the time
    /// ran out first.
    [[nodiscard]] bool waitForScreen(const std::wstring& text, std::uint32_t timeoutMs);

    /// Watches until the program ends and returns its exit code; nothing if it did not end in time.
    [[nodiscard]] std::optional<std::uint32_t> waitForExit(std::uint32_t timeoutMs);

    /// Asks the window to close, as its close button does.
    void closeWindow();

    /// Presses the window's button labelled `label`, as a click would. False if no such button is shown.
    [[nodiscard]] bool pressButton(const std::wstring& label);

    /// Every distinct screen seen so far, oldest first.
    [[nodiscard]] const std::vector<std::wstring>& screens() const { return screens_; }
    /// The screens, then whether the program ended and how; for a program still running, under Wine,
    /// also its threads' call stacks.
    [[nodiscard]] std::wstring screensText() const;

private:
    void observe();

    UniqueKernelHandle process_;
    DWORD processId_ = 0;
    std::vector<std::wstring> screens_;
};

} // namespace ardenwick::testing
