// The real Ardenwick-Setup.exe with the volume under its Analytics folder full, beside the outbox's
// "-wal" and the emptied "-shm" that a process of the product dying while it wrote leaves: the outbox may
// fail, the run may not.
#include "common/text_conversion.h"
#include "installation/install_location.h"
#include "release_server_fixture.h"
#include "support/full_volume.h"
#include "support/installer_window.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/test_files.h"
#include "support/test_profile.h"
#include "support/wine_host.h"
#include "telemetry/analytics_identifiers.h"
#include "telemetry/configuration_provider.h"
#include "ui/localized_strings.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace ardenwick {
namespace {

constexpr std::uint32_t RunTimeoutMs = 120000;

std::wstring text(LocalizedStrings::Entry entry) {
    return std::wstring(stringsForLanguage(EnglishLanguageTag)[entry]);
}

/// The stand-ins' settings for a run that installs and opens the application, undone at the end.
class StandIns {
public:
    explicit StandIns(const std::filesystem::path& base)
        : root_(base / L"Ardenwick"), log_(base / L"stand-ins.log") {
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LOG", log_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"success");
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", L"ready");
    }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;
    ~StandIns() {
        testing::stopStandInApplication(root_);
        for (const wchar_t* name : {L"ARDENWICK_STANDIN_ROOT", L"ARDENWICK_STANDIN_LOG",
                                    L"ARDENWICK_STANDIN_INSTALLER", L"ARDENWICK_STANDIN_LAUNCHER"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }
    [[nodiscard]] std::string log() const { return testing::fileText(log_); }

private:
    std::filesystem::path root_;
    std::filesystem::path log_;
};

TEST(FullVolumeEndToEnd, TheProgramInstallsAndEndsWithinItsFlushWhileTheOutboxVolumeIsFull) {
    const auto server = testing::ReleaseServer::fromEnvironment();
    ASSERT_TRUE(server) << "runs under tools/release-server/with-server";
    if (!testing::fullVolume()) {
        if (!testing::runningUnderWine()) {
            GTEST_SKIP() << testing::NoVolumeSkip;
        }
        FAIL() << "no full volume: with_full_volume.py could not mount a tmpfs (it needs root)";
    }
    const auto base = std::filesystem::temp_directory_path() / L"ardenwick-e2e-full-volume";
    ASSERT_FALSE(testing::removeTreeWhenFree(base));
    std::filesystem::create_directories(base);
    const StandIns standIns(base);
    // A first start, on a profile of its own: nothing installed, no outbox but the one planted below.
    const testing::TestProfile profile(L"e2e-full-volume");
    const auto analytics = profile.localAppData() / L"Ardenwick" / L"Analytics";
    std::filesystem::create_directories(analytics);
    const std::string mounted = testing::mountVolumeOver(analytics);
    ASSERT_TRUE(mounted.empty()) << mounted;
    // Given back before the profile goes, which could not remove the folder while a volume is over it.
    struct Unmount {
        std::filesystem::path folder;
        ~Unmount() { EXPECT_TRUE(testing::unmountVolume(folder)) << folder.string(); }
    } const unmount{analytics};

    const auto outbox =
        analytics /
        utf8ToWide(outboxFileName(DefaultConfigurationProvider("test").configuration().analyticsProjectKey));
    ASSERT_TRUE(testing::leaveOutboxOfDeadClient(outbox));
    const auto room = testing::fillLeavingTwoPages(analytics / L"filler");
    ASSERT_GT(room, 0U);
    ASSERT_LT(room, 32768U) << "the volume has room for the WAL index";

    ASSERT_TRUE(server->chooseCurrentScenario("install"));
    testing::WatchedProgram program(testing::executableDirectory() / L"Ardenwick-Setup.exe", L"");
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(program.waitForScreen(text(LocalizedStrings::downloadingHeading), RunTimeoutMs))
        << wideToUtf8(program.screensText());
    EXPECT_TRUE(program.waitForScreen(text(LocalizedStrings::openingHeading), RunTimeoutMs))
        << wideToUtf8(program.screensText());
    // The window is gone once its handle is: hidden first, it is destroyed a moment later.
    const HWND window = testing::findInstallerWindow(program.processId());
    const auto watched = std::chrono::steady_clock::now();
    while (window != nullptr && IsWindow(window) &&
           std::chrono::steady_clock::now() - watched < std::chrono::milliseconds(RunTimeoutMs)) {
        Sleep(10);
    }
    const auto closed = std::chrono::steady_clock::now();
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    const auto endedAfter =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closed);
    std::printf("the program ended %lld ms after its window closed\n",
                static_cast<long long>(endedAfter.count()));
    EXPECT_LE(endedAfter.count(), 2500);
    const std::string log = standIns.log();
    EXPECT_NE(log.find("installer success"), std::string::npos) << log;
    EXPECT_NE(log.find("application "), std::string::npos) << log;
    EXPECT_EQ(readInstallLocation(), base / L"Ardenwick" / L"Ardenwick.exe");

    EXPECT_FALSE(std::filesystem::exists(outbox.wstring() + L".corrupt"));
    std::filesystem::remove(analytics / L"filler");
    EXPECT_EQ(testing::outboxRows(outbox), 4);
}

} // namespace
} // namespace ardenwick
