#include "support/installer_window.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

std::filesystem::path setupProgram() {
    return testing::executableDirectory() / L"Ardenwick-Setup.exe";
}

// Starts the program a second time, with the same arguments, while the first one shows its window
// minimised, as a user who switched away and clicked the installer again would. The second start must
// bring that window back and go away with 0.
void expectSecondStartRestoresTheFirstWindow(const std::wstring& arguments) {
    testing::WatchedProgram first(setupProgram(), arguments);
    ASSERT_TRUE(first.waitForScreen(L"", 60000)) << "the first instance shows its window";
    HWND window = testing::findInstallerWindow(first.processId());
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));

    EXPECT_EQ(testing::runAndWait(setupProgram(), arguments, 60000), 0U);
    const ULONGLONG restoreDeadline = GetTickCount64() + 10000;
    while (IsIconic(window) && GetTickCount64() < restoreDeadline) {
        Sleep(50);
    }
    EXPECT_FALSE(IsIconic(window)) << "the first window is restored";
    EXPECT_TRUE(IsWindow(window));
}

TEST(SecondInstance, ActivatesTheFirstWindowAndExitsWithZero) {
    expectSecondStartRestoresTheFirstWindow(L"");
}

// The same for a maintenance run of one installation: the launcher (played by this test: its process
// and its three hand-off events) has started the first one, which waits for the go.
TEST(SecondInstance, AMaintenanceStartForTheSameRootActivatesTheFirstWindow) {
    const auto root = std::filesystem::temp_directory_path() / L"ardenwick-e2e-second-maintenance";
    std::filesystem::create_directories(root);
    const std::wstring eventName = L"Local\\Ardenwick.MaintenanceUi.SecondInstance";
    std::vector<HANDLE> events;
    for (const auto& suffix : {L"", L".go", L".cancel"}) {
        events.push_back(CreateEventW(nullptr, TRUE, FALSE, (eventName + suffix).c_str()));
        ASSERT_NE(events.back(), nullptr);
    }
    const std::wstring arguments = L"--maintenance " + testing::quoteArgument(root.wstring()) + L" " +
                                   testing::quoteArgument((root / L"setup.exe").wstring()) + L" 0 " +
                                   std::to_wstring(GetCurrentProcessId()) + L" " + eventName;
    expectSecondStartRestoresTheFirstWindow(arguments);
    EXPECT_FALSE(std::filesystem::exists(root / L"state")) << "nothing was installed or recorded";
    for (HANDLE event : events) {
        CloseHandle(event);
    }
}

} // namespace
} // namespace ardenwick
