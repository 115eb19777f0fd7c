// An outbox that a stock SQLite 3 enriched (bin/fixtures/peer-outbox.db, written at build time by
// make_peer_outbox.py with Python's sqlite3): the program's SQLite must read its schema and work beside it.
#include "telemetry/installation_outbox.h"

#include "../unit/telemetry_test_support.h"
#include "telemetry_windows_support.h"

#include <gtest/gtest.h>

#include <filesystem>

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

} // namespace
} // namespace ardenwick
