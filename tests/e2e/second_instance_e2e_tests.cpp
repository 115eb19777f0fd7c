#include "support/installer_window.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

namespace ardenwick {
namespace {

// A second start of the installer while the first one shows its window brings that window back instead of
// running a second installation.
TEST(SecondInstance, ActivatesTheFirstWindowAndExitsWithZero) {
    const auto setup = testing::executableDirectory() / L"Ardenwick-Setup.exe";
    std::wstring commandLine = testing::quoteArgument(setup.wstring());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION first{};
    ASSERT_TRUE(CreateProcessW(setup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &first));
    HWND window = nullptr;
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (!window && GetTickCount64() < deadline) {
        Sleep(50);
        window = testing::findInstallerWindow(first.dwProcessId);
    }
    ASSERT_NE(window, nullptr) << "the first instance shows its window";
    // Minimise it, as a user who switched away would.
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));

    EXPECT_EQ(testing::runAndWait(setup, L"", 60000), 0U);
    const ULONGLONG restoreDeadline = GetTickCount64() + 10000;
    while (IsIconic(window) && GetTickCount64() < restoreDeadline) {
        Sleep(50);
    }
    EXPECT_FALSE(IsIconic(window)) << "ActivateInstanceMessage restores the first window";
    EXPECT_TRUE(IsWindow(window));

    TerminateProcess(first.hProcess, 0);
    WaitForSingleObject(first.hProcess, 10000);
    CloseHandle(first.hThread);
    CloseHandle(first.hProcess);
}

} // namespace
} // namespace ardenwick
