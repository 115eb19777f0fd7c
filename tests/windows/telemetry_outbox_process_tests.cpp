// Several Windows processes on one outbox file, under Wine's own locking.
#include "support/test_profile.h"
#include "telemetry/installation_outbox.h"
#include "telemetry/posthog_metrics.h"

#include "../unit/telemetry_test_support.h"
#include "telemetry/event_timestamp.h"
#include "telemetry_windows_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace ardenwick {
namespace {

using ardenwick::testing::insertDueRows;
using ardenwick::testing::Inspector;
using ardenwick::testing::TemporaryDirectory;

/// outbox_process_helper.exe with its standard output written to a file.
class HelperProcess {
public:
    HelperProcess(const std::wstring& arguments, const std::filesystem::path& output) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        UniqueFileHandle file(CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            throw std::runtime_error("cannot create the helper's output file");
        }
        const std::wstring program =
            (testing::telemetryTestDirectory() / L"outbox_process_helper.exe").wstring();
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = file.get();
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &info)) {
            throw std::runtime_error("cannot start outbox_process_helper.exe");
        }
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess() {
        if (process_) {
            TerminateProcess(process_.get(), 9);
            WaitForSingleObject(process_.get(), 20000);
        }
    }
    DWORD wait() {
        WaitForSingleObject(process_.get(), 120000);
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }
    void kill() {
        TerminateProcess(process_.get(), 9);
        WaitForSingleObject(process_.get(), 20000);
    }

private:
    UniqueKernelHandle process_;
};

std::vector<std::string> linesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    // Only complete lines: the last one may still be being written.
    while (std::getline(in, line)) {
        if (!in.eof()) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
        }
    }
    return lines;
}

std::wstring quoted(const std::filesystem::path& path) {
    return L"\"" + path.wstring() + L"\"";
}

TEST(OutboxWindowsProcesses, TwoProcessesLeasingAtOnceNeverGetTheSameRow) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "shared.db";
    const std::int64_t now = 1'800'000'000;
    constexpr int Rows = 200;
    {
        InstallationOutbox outbox(file);
        Inspector db(file);
        insertDueRows(db, Rows, now);
    }
    const auto start = directory.path() / "go";
    const std::wstring arguments =
        L"lease " + quoted(file) + L" " + std::to_wstring(now) + L" " + quoted(start);
    const auto firstOutput = directory.path() / "first.txt";
    const auto secondOutput = directory.path() / "second.txt";
    HelperProcess first(arguments, firstOutput);
    HelperProcess second(arguments, secondOutput);
    EXPECT_TRUE(ardenwick::testing::startWhenReady(start, 2)) << "the helpers never opened the outbox";
    EXPECT_EQ(first.wait(), 0u);
    EXPECT_EQ(second.wait(), 0u);

    std::map<std::string, int> times;
    std::map<std::string, std::string> leaseOf;
    for (const auto& output : {firstOutput, secondOutput}) {
        for (const auto& line : linesOf(output)) {
            std::istringstream fields(line);
            std::string uuid, lease;
            fields >> uuid >> lease;
            ++times[uuid];
            leaseOf[uuid] = lease;
        }
    }
    EXPECT_EQ(times.size(), static_cast<std::size_t>(Rows));
    for (const auto& [uuid, count] : times) {
        EXPECT_EQ(count, 1) << uuid;
    }
    Inspector db(file);
    for (const auto& [uuid, lease] : leaseOf) {
        EXPECT_EQ(db.text("SELECT lease FROM events WHERE uuid='" + uuid + "'"), lease);
    }
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE attempts=1"), Rows);
}

TEST(OutboxWindowsProcesses, AProcessTerminatedWhileAppendingLosesNoCommittedRow) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "killed.db";
    std::vector<std::string> committed;
    for (int round = 0; round < 2; ++round) {
        const auto output = directory.path() / ("append-" + std::to_string(round) + ".txt");
        HelperProcess writer(L"append " + quoted(file) + L" " + std::to_wstring(round * 100000), output);
        const auto deadline = GetTickCount64() + 60000;
        while (linesOf(output).size() < static_cast<std::size_t>(30 + round * 11) &&
               GetTickCount64() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        writer.kill();
        const auto lines = linesOf(output);
        ASSERT_GE(lines.size(), static_cast<std::size_t>(30 + round * 11));
        committed.insert(committed.end(), lines.begin(), lines.end());
    }
    Inspector db(file);
    EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
    for (const auto& uuid : committed) {
        EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='" + uuid + "'"), 1) << uuid;
    }
    InstallationOutbox outbox(file);
    outbox.append("after", "x", 1'800'000'000);
    EXPECT_GE(db.rows(), static_cast<std::int64_t>(committed.size()) + 1);
}

TEST(OutboxWindowsProcesses, TheSenderDeliversEventsAnotherProcessStored) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "Analytics" / "shared.db";
    const auto output = directory.path() / "append.txt";
    std::vector<std::string> stored;
    {
        { InstallationOutbox create(file); }
        HelperProcess writer(L"append " + quoted(file) + L" 0", output);
        const auto deadline = GetTickCount64() + 60000;
        while (linesOf(output).size() < 25 && GetTickCount64() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        writer.kill();
        stored = linesOf(output);
        ASSERT_GE(stored.size(), 25u);
    }
    // The helper's rows are dated 2027; lease them with the real clock by moving them to now.
    Inspector db(file);
    db.exec("UPDATE events SET created=" + std::to_string(currentUnixSeconds()) +
            ",next=" + std::to_string(currentUnixSeconds()));
    const auto rows = db.rows();

    std::mutex mutex;
    std::vector<std::string> bodies;
    MetricsOptions options;
    options.outboxPath = file;
    options.batchSender = [&](const std::string& body) {
        std::lock_guard lock(mutex);
        bodies.push_back(body);
        return true;
    };
    MetricsConfiguration configuration;
    configuration.apiKey = "phc_test";
    configuration.host = "https://analytics.example";
    configuration.installationNamespace = "telemetry-process-test";
    {
        PostHogMetrics client(configuration, options);
        EXPECT_TRUE(client.flush(30000));
    }
    RegDeleteTreeW(
        HKEY_CURRENT_USER,
        testing::productKey(L"Software\\Ardenwick\\Attribution\\AppsFlyer\\telemetry-process-test").c_str());
    EXPECT_EQ(db.rows(), 0);
    ASSERT_EQ(static_cast<std::int64_t>(bodies.size()), rows);
    std::set<std::string> sent(bodies.begin(), bodies.end());
    for (const auto& uuid : stored) {
        const std::string n = uuid.substr(4);
        EXPECT_TRUE(sent.contains("{\"n\":" + n + "}")) << uuid;
    }
}

} // namespace
} // namespace ardenwick
