// The analytics client on a volume without room, beside the "-wal" and the emptied "-shm" that a
// process dying while it wrote the outbox leaves: the outbox may fail, the process may not.
#include "common/unique_handle.h"
#include "support/full_volume.h"
#include "support/process_runner.h"
#include "support/wine_host.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace ardenwick {
namespace {

/// Ends a helper that is still running when the test leaves early.
struct EndedAtExit {
    testing::StartedProcess& process;
    ~EndedAtExit() {
        if (process.process && WaitForSingleObject(process.process.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.process.get(), 9);
            WaitForSingleObject(process.process.get(), 10000);
        }
    }
};

TEST(TelemetryFullVolume, AClientOnAFullVolumeWithALeftWalIndexEndsNormallyAndKeepsTheRows) {
    const auto volume = testing::fullVolume();
    if (!volume) {
        if (!testing::runningUnderWine()) {
            GTEST_SKIP() << testing::NoVolumeSkip;
        }
        FAIL() << "no full volume: with_full_volume.py could not mount a tmpfs (it needs root)";
    }
    const auto outbox = *volume / L"Analytics" / L"outbox.db";
    ASSERT_TRUE(testing::leaveOutboxOfDeadClient(outbox));
    const auto room = testing::fillLeavingTwoPages(*volume / L"filler");
    ASSERT_GT(room, 0U);
    ASSERT_LT(room, 32768U) << "the volume has room for the WAL index";

    const std::wstring stopName = L"ardenwick-full-volume-stop." + std::to_wstring(GetCurrentProcessId());
    const UniqueKernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
    auto client = testing::startProgram(testing::executableDirectory() / L"telemetry_exit_helper.exe",
                                        L"https://127.0.0.1:9 " + testing::quoteArgument(outbox.wstring()) +
                                            L" " + stopName);
    const EndedAtExit endClient{client};
    ASSERT_TRUE(client.process);
    // Long enough to open the outbox and record its event; a fault there ends the process at once.
    EXPECT_EQ(WaitForSingleObject(client.process.get(), 3000), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the client ended before it was told to";
    SetEvent(stop.get());
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_EQ(WaitForSingleObject(client.process.get(), 20000), WAIT_OBJECT_0);
    const auto endedAfter =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopped);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(client.process.get(), &code));
    EXPECT_EQ(code, 0U);
    std::printf("the client ended %lld ms after it was told to\n",
                static_cast<long long>(endedAfter.count()));
    EXPECT_LE(endedAfter.count(), 2500);

    EXPECT_FALSE(std::filesystem::exists(outbox.wstring() + L".corrupt"));
    std::filesystem::remove(*volume / L"filler");
    EXPECT_EQ(testing::outboxRows(outbox), 4);
}

} // namespace
} // namespace ardenwick
