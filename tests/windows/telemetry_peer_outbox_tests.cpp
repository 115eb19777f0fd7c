// The shared outbox as other processes of the product leave it on Windows: enriched by a stock SQLite 3
// (bin/fixtures/peer-outbox.db, written at build time by make_peer_outbox.py with Python's sqlite3), or
// damaged and held open.
#include "telemetry/event_timestamp.h"
#include "telemetry/installation_outbox.h"
#include "telemetry/posthog_metrics.h"

#include "../unit/telemetry_test_support.h"
#include "telemetry_windows_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace ardenwick {
namespace {

using ardenwick::testing::Inspector;
using ardenwick::testing::TemporaryDirectory;

constexpr std::int64_t T = 1'800'000'000; // the fixture's application row was created at T - 10

TEST(OutboxPeerSchema, AppendLeaseAndReleaseWorkBesideEveryObjectAStockSqliteCanStore) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "peer.db";
    std::filesystem::copy_file(testing::telemetryTestDirectory() / "fixtures" / "peer-outbox.db", file);
    {
        std::optional<InstallationOutbox> outbox;
        try {
            outbox.emplace(file);
        } catch (const std::exception& error) {
            FAIL() << "the peer's outbox did not open: " << error.what();
        }
        // A schema the parser cannot read makes the file "malformed", and it would be set aside.
        ASSERT_FALSE(std::filesystem::exists(directory.path() / "peer.db.corrupt"))
            << "the peer's outbox was taken for a damaged file and set aside";
        const std::string body = R"({"api_key":"k","batch":[{"event":"bootstrapper_started"}]})";
        outbox->append("installer-row", body, T);
        // The application's row is the oldest; releasing it as delivered deletes a row that the peer's
        // log still references (foreign keys are not enforced, as in a stock SQLite).
        const auto first = outbox->leaseNext("lease-1", T);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->uuid, "app-row");
        outbox->release(*first, true, false, T);
        const auto second = outbox->leaseNext("lease-2", T);
        ASSERT_TRUE(second);
        EXPECT_EQ(second->uuid, "installer-row");
        EXPECT_EQ(second->body, body);
        outbox->release(*second, false, false, T);
        EXPECT_TRUE(outbox->hasPending(T));
    }
    Inspector db(file);
    EXPECT_EQ(db.rows(), 1);
    EXPECT_EQ(db.integer("SELECT next FROM events WHERE uuid='installer-row'"), T + 2);
    // The peer's trigger ran on the installer's insert: upsert, AUTOINCREMENT, CAST default, blob and hex
    // literals, the generated column and datetime() all took part.
    EXPECT_EQ(db.text("SELECT kind FROM log WHERE uuid='installer-row'"), "append");
    EXPECT_EQ(db.integer("SELECT id FROM log WHERE uuid='installer-row'"), 2);
    EXPECT_EQ(db.integer("SELECT seq FROM sqlite_sequence WHERE name='log'"), 2);
    EXPECT_EQ(db.integer("SELECT weight FROM log WHERE uuid='installer-row'"), 22);
    EXPECT_EQ(db.text("SELECT hex(tag) FROM log WHERE uuid='installer-row'"), "00FF");
    EXPECT_EQ(db.integer("SELECT length(at) FROM log WHERE uuid='installer-row'"), 19);
    EXPECT_EQ(db.integer("SELECT position FROM ranked WHERE uuid='installer-row'"), 1);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE json_extract(body,'$.batch[0].event')="
                         "'bootstrapper_started'"),
              1);
    EXPECT_EQ(
        db.integer("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('events_logged','ranked','search',"
                   "'settings','sqlite_stat1','events_by_name')"),
        6);
    EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
}

// SQLite opens its files without FILE_SHARE_DELETE, so Windows will not move a damaged file that another
// process of the product has open: the file cannot be used (the client records into its own outbox), and
// it is set aside once it is free.
TEST(OutboxDamageOnWindows, ADamagedFileOpenElsewhereIsUnusableUntilItIsFree) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "held.db";
    const std::string damage(32 * 1024, '\0');
    std::ofstream(file, std::ios::binary) << damage;
    {
        UniqueFileHandle held(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        try {
            InstallationOutbox outbox(file);
            ADD_FAILURE() << "opened a damaged file that could not be moved";
        } catch (const OutboxError& error) {
            EXPECT_EQ(error.kind(), OutboxFailure::Unusable) << error.what();
        }
        EXPECT_FALSE(std::filesystem::exists(directory.path() / "held.db.corrupt"));
    }
    InstallationOutbox outbox(file);
    outbox.append("after", "x", T);
    EXPECT_EQ(std::filesystem::file_size(directory.path() / "held.db.corrupt"), damage.size());
    EXPECT_EQ(Inspector(file).rows(), 1);
}

// The application keeps its connection to the damaged file for the whole run, so it can never be moved:
// the run's events go to the installer's own outbox beside it, and the damaged file stays as it was.
TEST(OutboxDamageOnWindows, ARunBesideADamagedFileHeldOpenThroughoutKeepsEveryEvent) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "held.db";
    const std::string damage(32 * 1024, '\0');
    std::ofstream(file, std::ios::binary) << damage;
    UniqueFileHandle held(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    MetricsOptions options;
    options.outboxPath = file;
    options.batchSender = [](const std::string&) { return false; };
    options.distinctIdProvider = [] { return std::string("anon_peer-test"); };
    options.installationIdProvider = [] { return std::string("id"); };
    MetricsConfiguration configuration;
    configuration.apiKey = "phc_test";
    configuration.host = "https://analytics.example";
    configuration.enabled = true;
    {
        PostHogMetrics client(configuration, options);
        for (int i = 0; i < 3; ++i) {
            MetricsEvent event;
            event.name = "bootstrapper_started";
            event.occurredAt = currentEventTicks();
            event.properties["status"] = "e" + std::to_string(i);
            client.recordDurable(event, "anon_peer-test");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "held.db.corrupt"));
    EXPECT_EQ(std::filesystem::file_size(file), damage.size());
    const auto own = directory.path() / "held.installer.db";
    ASSERT_TRUE(std::filesystem::exists(own));
    EXPECT_EQ(Inspector(own).rows(), 3);
}

} // namespace
} // namespace ardenwick
