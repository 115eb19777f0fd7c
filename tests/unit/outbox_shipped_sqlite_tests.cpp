// The client and its outbox, linked with the SQLite that the program ships (no FTS5, no math functions,
// the parser of 3.40.1), beside files that a newer or richer SQLite left: Debian's sqlite3 shell plays
// the peer, and a second process holds the outbox as the application may.
#include "telemetry/event_timestamp.h"
#include "telemetry/installation_outbox.h"
#include "telemetry/outbox_damage.h"
#include "telemetry/posthog_metrics.h"

#include "telemetry_test_support.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ardenwick {
namespace {

using namespace std::chrono_literals;
using testing::Inspector;
using testing::recordNumbered;
using testing::TemporaryDirectory;

constexpr std::int64_t T = 1'800'000'000;

std::string bytesOf(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

/// Runs Debian's sqlite3 shell on a file; its output, or "<failed>".
std::string peerShell(const std::filesystem::path& file, const std::string& sql) {
    const auto script = file.parent_path() / "peer.sql";
    std::ofstream(script) << sql;
    const std::string command = "sqlite3 -batch '" + file.string() + "' < '" + script.string() + "' 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        if (pclose(pipe) != 0) {
            return "<failed> " + output;
        }
    }
    return output;
}

/// Every name in the folder that carries ".corrupt".
std::vector<std::string> setAsideFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".corrupt") != std::string::npos) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

/// The batch-sender override: records bodies and answers as told.
struct Deliveries {
    std::mutex mutex;
    std::vector<std::string> bodies;
    bool succeed = false;

    std::function<bool(const std::string&)> callable() {
        return [this](const std::string& body) {
            std::lock_guard lock(mutex);
            bodies.push_back(body);
            return succeed;
        };
    }
    std::string all() {
        std::lock_guard lock(mutex);
        std::string text;
        for (const auto& body : bodies) {
            text += body;
        }
        return text;
    }
};

MetricsPlatform platform() {
    MetricsPlatform p;
    p.analyticsDistinctId = [] { return std::string("anon_platform-id"); };
    p.installationIdentity = [](const std::string&) { return std::string(); };
    p.defaultOutboxPath = [](const std::string&) { return std::optional<std::filesystem::path>(); };
    p.postBatch = [](const BatchEndpoint&, const std::string&) { return DeliveryResult::Retry; };
    p.nativeArchitecture = [] { return std::string("x64"); };
    p.osVersionText = [] { return std::string("10.0.22631"); };
    p.idleWait = 50ms;
    return p;
}

MetricsConfiguration configuration() {
    MetricsConfiguration c;
    c.apiKey = "phc_test";
    c.host = "https://analytics.example";
    c.environment = "dev";
    c.enabled = true;
    return c;
}

class ShippedSqliteOutbox : public ::testing::Test {
protected:
    void SetUp() override {
        // Proof that these cases meet the shipped SQLite and not the system library, which has FTS5.
        Inspector probe(directory.path() / "probe.db");
        EXPECT_THROW(probe.exec("CREATE VIRTUAL TABLE t USING fts5(x)"), std::runtime_error);
        ASSERT_EQ(peerShell(directory.path() / "probe2.db", "SELECT 1;"), "1\n") << "Debian's sqlite3 shell";
    }
    MetricsOptions options(Deliveries& deliveries) {
        MetricsOptions o;
        o.batchSender = deliveries.callable();
        o.outboxPath = shared;
        o.installationIdProvider = [] { return std::string("id"); };
        return o;
    }
    TemporaryDirectory directory;
    std::filesystem::path shared = directory.path() / "outbox.db";
    std::filesystem::path own = directory.path() / "outbox.installer.db";
};

TEST_F(ShippedSqliteOutbox, ANewerSyntaxViewIsNeverMovedAndTheRunsEventsGoToTheOwnOutbox) {
    {
        InstallationOutbox create(shared);
        create.append("app-row", R"({"api_key":"k","batch":[{"event":"app_ready"}]})", T);
    }
    // A view of SQLite 3.44's syntax, as a newer application stores it; our parser cannot read it.
    ASSERT_EQ(peerShell(shared, "PRAGMA writable_schema=ON; INSERT INTO sqlite_schema VALUES('view','uuids',"
                                "'uuids',0,'CREATE VIEW uuids AS SELECT group_concat(uuid, '','' ORDER BY "
                                "uuid) AS list FROM events');"),
              "");
    const std::string before = bytesOf(shared);
    Deliveries deliveries;
    {
        PostHogMetrics client(configuration(), options(deliveries), platform());
        recordNumbered(client, 0, 2);
    }
    EXPECT_TRUE(setAsideFiles(directory.path()).empty()) << "a healthy file was set aside";
    EXPECT_TRUE(bytesOf(shared) == before) << "the application's file changed";
    ASSERT_TRUE(std::filesystem::exists(own));
    EXPECT_EQ(Inspector(own).rows(), 3);
    EXPECT_EQ(peerShell(shared, "PRAGMA writable_schema=ON; SELECT group_concat(uuid) FROM events;"),
              "app-row\n");

    // A later run with deliveries working: its own event and the earlier run's all leave the own outbox.
    deliveries.succeed = true;
    {
        PostHogMetrics client(configuration(), options(deliveries), platform());
        recordNumbered(client, 3, 3);
        EXPECT_TRUE(client.flush(10000));
    }
    for (const char* status : {"\"e0\"", "\"e1\"", "\"e2\"", "\"e3\""}) {
        EXPECT_NE(deliveries.all().find(status), std::string::npos) << status;
    }
    EXPECT_EQ(Inspector(own).rows(), 0);
    EXPECT_TRUE(bytesOf(shared) == before);
    EXPECT_TRUE(setAsideFiles(directory.path()).empty());
}

TEST_F(ShippedSqliteOutbox, APeerTriggerNeedingWhatWeLackSendsTheEventsToTheOwnOutbox) {
    const std::vector<std::pair<std::string, std::string>> peers = {
        {"fts5",
         "CREATE VIRTUAL TABLE search USING fts5(body); CREATE TRIGGER indexed AFTER INSERT ON events "
         "BEGIN INSERT INTO search(body) VALUES(new.body); END;"},
        {"log2", "CREATE TABLE sizes(bits REAL); CREATE TRIGGER measured AFTER INSERT ON events BEGIN "
                 "INSERT INTO sizes VALUES(log2(length(new.body))); END;"}};
    for (const auto& [name, schema] : peers) {
        SCOPED_TRACE(name);
        std::filesystem::remove(shared);
        std::filesystem::remove(own);
        { InstallationOutbox create(shared); }
        ASSERT_EQ(peerShell(shared, schema +
                                        "INSERT INTO events(uuid,body,created,next) VALUES('app-row','{}'," +
                                        std::to_string(T) + "," + std::to_string(T) + ");"),
                  "");
        Deliveries deliveries;
        {
            PostHogMetrics client(configuration(), options(deliveries), platform());
            recordNumbered(client, 0, 1);
        }
        EXPECT_TRUE(setAsideFiles(directory.path()).empty());
        ASSERT_TRUE(std::filesystem::exists(own));
        EXPECT_EQ(Inspector(own).rows(), 2);
        EXPECT_EQ(Inspector(shared).text("SELECT group_concat(uuid) FROM events"), "app-row");
        EXPECT_EQ(peerShell(shared, "PRAGMA quick_check;"), "ok\n");
    }
}

// Another process set the damaged file aside and made a fresh outbox while this client still had the
// old file open: the client's damage mark is stale and must not move the fresh outbox.
TEST_F(ShippedSqliteOutbox, AStaleDamageMarkAgainstAReplacedFileMovesNothing) {
    std::int64_t page = 0;
    std::int64_t pageSize = 0;
    {
        InstallationOutbox create(shared);
        const Inspector db(shared);
        page = db.integer("SELECT rootpage FROM sqlite_master WHERE name='sqlite_autoindex_events_1'");
        pageSize = db.integer("PRAGMA page_size");
    }
    Deliveries deliveries;
    PostHogMetrics client(configuration(), options(deliveries), platform());
    const auto aside = directory.path() / "outbox.db.corrupt";
    std::filesystem::rename(shared, aside);
    for (const char* suffix : {"-wal", "-shm"}) {
        if (std::filesystem::exists(shared.string() + suffix)) {
            std::filesystem::rename(shared.string() + suffix, aside.string() + suffix);
        }
    }
    {
        std::fstream stream(aside, std::ios::binary | std::ios::in | std::ios::out);
        stream.seekp((page - 1) * pageSize);
        const std::string noise(static_cast<std::size_t>(pageSize), '\xff');
        stream.write(noise.data(), static_cast<std::streamsize>(noise.size()));
    }
    const std::string damaged = bytesOf(aside);
    {
        InstallationOutbox fresh(shared);
        fresh.append("fresh-row", "{}", T);
    }
    // The client's connection still reads the old file, finds it damaged, and appends again.
    recordNumbered(client, 0, 0);
    EXPECT_TRUE(bytesOf(aside) == damaged) << "the fresh outbox was moved over the damaged file";
    Inspector db(shared);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='fresh-row'"), 1);
    EXPECT_EQ(db.rows(), 2);
    EXPECT_EQ(setAsideIfStillDamaged(shared, FileIdentity{}), SetAside::Replaced);
    EXPECT_EQ(setAsideIfStillDamaged(shared, fileIdentity(shared)), SetAside::Readable);
    EXPECT_EQ(setAsideIfStillDamaged(aside, fileIdentity(aside)), SetAside::Moved);
}

/// Starts outbox_process_helper holding the outbox's write lock for ms; returns once it holds it.
pid_t holdOutbox(const std::filesystem::path& file, int ms, const std::filesystem::path& ready) {
    const std::string helper =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "outbox_process_helper").string();
    const std::string fileText = file.string();
    const std::string msText = std::to_string(ms);
    const std::string readyText = ready.string();
    std::vector<char*> argv{const_cast<char*>(helper.c_str()),    const_cast<char*>("hold"),
                            const_cast<char*>(fileText.c_str()),  const_cast<char*>(msText.c_str()),
                            const_cast<char*>(readyText.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return 0;
    }
    for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return pid;
}

TEST_F(ShippedSqliteOutbox, KeptEventsGetTheirLastTryWhenTheOutboxIsFreedJustBeforeTheEnd) {
    { InstallationOutbox create(shared); }
    // Held past the client's first tries (each waits out the busy timeout), released just before the end.
    const pid_t holder = holdOutbox(shared, 4500, directory.path() / "held");
    ASSERT_GT(holder, 0);
    auto slow = platform();
    // A back-off longer than the rest of the run: only a last try can store the events.
    slow.busyRetryBaseDelay = 20s;
    slow.idleWait = 15s;
    Deliveries deliveries;
    std::optional<PostHogMetrics> client;
    client.emplace(configuration(), options(deliveries), slow);
    recordNumbered(*client, 0, 2);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto start = std::chrono::steady_clock::now();
    client.reset();
    const auto ending = std::chrono::steady_clock::now() - start;
    EXPECT_LT(ending, 2500ms) << "the last try stays within the flush budget";
    EXPECT_EQ(Inspector(shared).rows(), 3) << "kept events were lost at the end of the run";
}

// The sender keeps leasing while another process holds the outbox, each try waiting out the busy
// timeout: the recording thread must not wait for those tries as well as for its own.
TEST_F(ShippedSqliteOutbox, TheWorkerWaitsAtMostOneBusyTimeoutWhileAnotherProcessHoldsTheOutbox) {
    { InstallationOutbox create(shared); }
    auto eager = platform();
    eager.idleWait = 20ms;
    eager.busyRetryBaseDelay = 20ms;
    Deliveries deliveries;
    PostHogMetrics client(configuration(), options(deliveries), eager);
    const pid_t holder = holdOutbox(shared, 3500, directory.path() / "held");
    ASSERT_GT(holder, 0);
    std::this_thread::sleep_for(100ms);
    std::chrono::steady_clock::duration spent{};
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        recordNumbered(client, i, i);
        spent += std::chrono::steady_clock::now() - start;
        std::this_thread::sleep_for(300ms);
    }
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(spent).count();
    std::printf("the worker spent %lld ms on the held outbox for 5 events\n",
                static_cast<long long>(milliseconds));
    EXPECT_LE(spent, 1500ms);
    const Inspector db(shared);
    for (int i = 0; i < 200 && db.rows() < 5; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(db.rows(), 5) << "an event of the run was lost";
}

// The sender idle, an event meets the held outbox itself: it waits out the busy timeout once, is kept,
// and the sender appends it once the outbox is free.
TEST_F(ShippedSqliteOutbox, AnEventThatMeetsABusyOutboxIsKeptForTheSender) {
    { InstallationOutbox create(shared); }
    Deliveries deliveries;
    PostHogMetrics client(configuration(), options(deliveries), platform());
    std::this_thread::sleep_for(200ms);
    const pid_t holder = holdOutbox(shared, 1500, directory.path() / "held");
    ASSERT_GT(holder, 0);
    recordNumbered(client, 0, 0);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    const Inspector db(shared);
    for (int i = 0; i < 200 && db.rows() < 1; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(db.rows(), 1) << "the event that met the busy outbox was lost";
}

// What cannot be opened for a while (here a directory in the file's place; on a PC, a scanner holding the
// file) is tried again like a busy file: the events wait in memory and are stored once it opens.
TEST_F(ShippedSqliteOutbox, AnOutboxThatCannotBeOpenedForAWhileKeepsTheEvents) {
    std::filesystem::create_directories(shared / "in-the-way");
    auto eager = platform();
    eager.busyRetryBaseDelay = 20ms;
    Deliveries deliveries;
    PostHogMetrics client(configuration(), options(deliveries), eager);
    recordNumbered(client, 0, 1);
    EXPECT_FALSE(client.flush(0)) << "the events are pending";
    std::filesystem::remove_all(shared);
    // The sender makes the file before its table: until both are there, there are no rows to count.
    const auto rows = [&] {
        try {
            return std::filesystem::is_regular_file(shared) ? Inspector(shared).rows() : std::int64_t{0};
        } catch (const std::exception&) {
            return std::int64_t{0};
        }
    };
    for (int i = 0; i < 200 && rows() != 2; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(rows(), 2) << "the events were dropped";
}

} // namespace
} // namespace ardenwick
