// The analytics client on a volume without a free byte, with the outbox's "-wal" and "-shm" left by a
// process that died holding them: the outbox may fail, the process may not.
#include "common/unique_handle.h"
#include "support/process_runner.h"
#include "support/wine_host.h"
#include "telemetry/installation_outbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

namespace ardenwick {
namespace {

/// The rows the outbox holds, read after space was freed again; -1 when it cannot be read.
int rowsIn(const std::filesystem::path& outbox) {
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open16(outbox.u16string().c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM events", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            rows = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

/// Writes a file until the volume refuses a byte; the bytes written.
std::uint64_t fillVolume(const std::filesystem::path& file) {
    const UniqueFileHandle filler(
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::uint64_t total = 0;
    const std::array<char, 512> block{};
    DWORD written = 0;
    while (filler && WriteFile(filler.get(), block.data(), block.size(), &written, nullptr) && written > 0) {
        total += written;
    }
    return total;
}

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

/// The analytics client in a process of its own (telemetry_exit_helper.exe): it records one event and
/// ends once the named event is set.
testing::StartedProcess startClient(const std::filesystem::path& outbox, const std::wstring& stopEvent) {
    return testing::startProgram(testing::executableDirectory() / L"telemetry_exit_helper.exe",
                                 L"https://127.0.0.1:9 " + testing::quoteArgument(outbox.wstring()) + L" " +
                                     stopEvent);
}

TEST(TelemetryFullVolume, AClientOnAFullVolumeWithALeftWalIndexEndsNormallyAndKeepsTheRows) {
    wchar_t volume[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ARDENWICK_FULL_VOLUME", volume, MAX_PATH) == 0) {
        if (!testing::runningUnderWine()) {
            GTEST_SKIP() << "Wine only: the full volume is a tmpfs that with_full_volume.py mounts as root";
        }
        FAIL() << "no full volume: with_full_volume.py could not mount a tmpfs (it needs root)";
    }
    const std::filesystem::path folder(volume);
    const auto outbox = folder / L"Analytics" / L"outbox.db";
    {
        InstallationOutbox stored(outbox);
        for (const char* uuid : {"a", "b", "c"}) {
            stored.append(uuid, R"({"batch":[]})", std::time(nullptr));
        }
    }
    // A process of the product that dies with its event in the outbox's WAL leaves the "-wal"; one that
    // dies right after it emptied the "-shm" (the first to open it does) leaves an empty WAL index,
    // which the next one grows and fills by reading the WAL back.
    const UniqueKernelHandle neverSet(CreateEventW(nullptr, TRUE, FALSE, L"ardenwick-full-volume-never"));
    auto writer = startClient(outbox, L"ardenwick-full-volume-never");
    const EndedAtExit endWriter{writer};
    ASSERT_TRUE(writer.process);
    for (int tries = 0; tries < 100 && rowsIn(outbox) < 4; ++tries) {
        Sleep(100);
    }
    ASSERT_EQ(rowsIn(outbox), 4) << "the first client did not store its event";
    TerminateProcess(writer.process.get(), 9);
    WaitForSingleObject(writer.process.get(), 10000);
    ASSERT_GT(std::filesystem::file_size(outbox.wstring() + L"-wal"), 0U);
    ASSERT_TRUE(std::filesystem::exists(outbox.wstring() + L"-shm"));
    std::filesystem::resize_file(outbox.wstring() + L"-shm", 0);

    // Full as "df" shows it (100 %): two pages left, fewer than the 32 KiB of the WAL index.
    const auto filled = fillVolume(folder / L"filler");
    ASSERT_GT(filled, 8192U);
    std::filesystem::resize_file(folder / L"filler", filled - 8192);
    ULARGE_INTEGER available{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr));
    ASSERT_GT(available.QuadPart, 0U);
    ASSERT_LT(available.QuadPart, 32768U) << "the volume has room for the WAL index";

    const UniqueKernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, L"ardenwick-full-volume-stop"));
    auto client = startClient(outbox, L"ardenwick-full-volume-stop");
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
    std::filesystem::remove(folder / L"filler");
    EXPECT_EQ(rowsIn(outbox), 4);
}

} // namespace
} // namespace ardenwick
