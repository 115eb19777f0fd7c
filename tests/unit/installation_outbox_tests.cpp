#include "telemetry/installation_outbox.h"

#include "common/file_system_error.h"

#include "telemetry_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

using testing::Inspector;
using testing::TemporaryDirectory;

constexpr std::int64_t T = 1'800'000'000; // an arbitrary "now" in seconds

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<no error>";
}

class OutboxTest : public ::testing::Test {
protected:
    TemporaryDirectory directory;
    std::filesystem::path file = directory.path() / "outbox.db";
};

TEST_F(OutboxTest, OpenCreatesFoldersAndTheExactSchemaInWalMode) {
    const auto nested = directory.path() / "Ardenwick" / "Analytics" / "123.db";
    { InstallationOutbox outbox(nested); }
    ASSERT_TRUE(std::filesystem::exists(nested));
    Inspector db(nested);
    EXPECT_EQ(db.text("PRAGMA journal_mode"), "wal");
    // Opened through the UTF-16 interface, so a new database keeps its text in UTF-16.
    EXPECT_EQ(db.text("PRAGMA encoding"), "UTF-16le");
    EXPECT_EQ(
        db.text("SELECT sql FROM sqlite_master WHERE name='events'"),
        "CREATE TABLE events(uuid TEXT PRIMARY KEY,body TEXT NOT NULL,created INTEGER NOT NULL,next INTEGER "
        "NOT NULL,lease TEXT,until INTEGER NOT NULL DEFAULT 0,attempts INTEGER NOT NULL DEFAULT 0)");
    EXPECT_EQ(db.text("SELECT sql FROM sqlite_master WHERE name='diagnostics'"),
              "CREATE TABLE diagnostics(name TEXT PRIMARY KEY,count INTEGER NOT NULL)");
    EXPECT_EQ(
        db.text("SELECT sql FROM sqlite_master WHERE name='first_launch'"),
        "CREATE TABLE first_launch(singleton INTEGER PRIMARY KEY CHECK(singleton=1),uuid TEXT NOT NULL)");
    EXPECT_EQ(db.text("SELECT sql FROM sqlite_master WHERE name='first_launch_candidate'"),
              "CREATE TABLE first_launch_candidate(singleton INTEGER PRIMARY KEY CHECK(singleton=1),eligible "
              "INTEGER NOT NULL)");
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM diagnostics"), 1);
    EXPECT_EQ(db.discarded(), 0);
    // Reopening runs the script again and keeps the counter.
    db.exec("UPDATE diagnostics SET count=7");
    { InstallationOutbox again(nested); }
    EXPECT_EQ(db.discarded(), 7);
}

std::string bytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string randomBytes(std::size_t size) {
    std::mt19937 random(std::random_device{}());
    std::string bytes(size, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

OutboxFailure failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const OutboxError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no OutboxError";
    return OutboxFailure::Other;
}

/// Every name in the folder (and its subfolders) that ends in ".corrupt" or carries it.
std::vector<std::string> setAsideFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().filename().string().find(".corrupt") != std::string::npos) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

TEST_F(OutboxTest, ADamagedFileIsSetAsideAndAFreshOutboxTakesItsPlace) {
    const auto aside = directory.path() / "outbox.db.corrupt";
    // What a stray writer can leave (with a journal beside it), and what a power loss can leave.
    for (const bool zeros : {false, true}) {
        SCOPED_TRACE(zeros ? "zeros" : "random bytes");
        const std::string damage = zeros ? std::string(32 * 1024, '\0') : randomBytes(64 * 1024);
        writeBytes(file, damage);
        const std::string journal = randomBytes(4096);
        if (!zeros) {
            writeBytes(directory.path() / "outbox.db-wal", journal);
        }
        // An earlier damage's files: replaced, and a journal of it that this damage lacks goes.
        writeBytes(aside, "earlier");
        writeBytes(directory.path() / "outbox.db.corrupt-shm", "earlier");

        InstallationOutbox outbox(file);
        outbox.append("new", "{\"b\":1}", T);
        EXPECT_TRUE(bytesOf(aside) == damage) << "the damaged file itself is set aside";
        EXPECT_FALSE(std::filesystem::exists(directory.path() / "outbox.db.corrupt-shm"));
        Inspector db(file);
        EXPECT_EQ(db.rows(), 1);
        EXPECT_EQ(db.text("SELECT body FROM events WHERE uuid='new'"), "{\"b\":1}");
        EXPECT_EQ(db.discarded(), 0);
        EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
    }
}

TEST_F(OutboxTest, ADamageFoundByALaterStatementIsNamedDamaged) {
    { InstallationOutbox create(file); }
    testing::damageIndexOfEvents(file);
    InstallationOutbox outbox(file);
    EXPECT_EQ(failureOf([&] { outbox.append("u", "x", T); }), OutboxFailure::Damaged);
    EXPECT_TRUE(setAsideFiles(directory.path()).empty()) << "only an open sets a file aside by itself";
}

TEST_F(OutboxTest, FailuresOtherThanDamageNeverMoveTheFile) {
    // A parent that is a regular file cannot become a folder.
    writeBytes(directory.path() / "blocker", "x");
    try {
        InstallationOutbox outbox(directory.path() / "blocker" / "sub" / "o.db");
        FAIL() << "opened below a file";
    } catch (const FileSystemError& error) {
        EXPECT_NE(std::string(error.what()).find("create_directories"), std::string::npos) << error.what();
    }
    EXPECT_EQ(bytesOf(directory.path() / "blocker"), "x");

    // A database SQLite may only read (a newer writer's format version): read-only.
    const auto readOnly = directory.path() / "read-only.db";
    {
        InstallationOutbox create(readOnly);
        create.append("kept", "x", T);
    }
    std::string bytes = bytesOf(readOnly);
    bytes[18] = 3;
    writeBytes(readOnly, bytes);
    EXPECT_EQ(failureOf([&] { InstallationOutbox outbox(readOnly); }), OutboxFailure::Other);
    EXPECT_EQ(bytesOf(readOnly), bytes);
    EXPECT_EQ(errorOf([&] { InstallationOutbox outbox(readOnly); }), "installation_outbox_sql");

    // What cannot be opened (here a directory; on a PC, a file a scanner holds) is tried again later.
    std::filesystem::create_directories(directory.path() / "dir.db");
    EXPECT_EQ(failureOf([&] { InstallationOutbox outbox(directory.path() / "dir.db"); }),
              OutboxFailure::Busy);
    EXPECT_TRUE(std::filesystem::is_directory(directory.path() / "dir.db"));

    // Busy: another connection's write transaction outlasts the busy timeout.
    { InstallationOutbox create(file); }
    Inspector holder(file);
    holder.exec("BEGIN IMMEDIATE");
    EXPECT_EQ(failureOf([&] { InstallationOutbox outbox(file); }), OutboxFailure::Busy);
    holder.exec("ROLLBACK");
    EXPECT_TRUE(setAsideFiles(directory.path()).empty());
}

TEST_F(OutboxTest, AppendStoresARowThatIsLeasedWithItsBodyAndFirstAttempt) {
    InstallationOutbox outbox(file);
    outbox.append("u1", "{\"b\":1}", T);
    Inspector db(file);
    EXPECT_EQ(db.integer("SELECT created FROM events WHERE uuid='u1'"), T);
    EXPECT_EQ(db.integer("SELECT next FROM events WHERE uuid='u1'"), T);
    EXPECT_EQ(db.integer("SELECT until FROM events WHERE uuid='u1'"), 0);
    EXPECT_EQ(db.text("SELECT lease FROM events WHERE uuid='u1'"), "<null>");

    const auto lease = outbox.leaseNext("lease-a", T);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->uuid, "u1");
    EXPECT_EQ(lease->body, "{\"b\":1}");
    EXPECT_EQ(lease->leaseId, "lease-a");
    EXPECT_EQ(lease->attempts, 1);
    EXPECT_EQ(db.text("SELECT lease FROM events"), "lease-a");
    EXPECT_EQ(db.integer("SELECT until FROM events"), T + 60);
    // Leased rows are not handed out twice, and an empty result still ends the transaction.
    EXPECT_FALSE(outbox.leaseNext("lease-b", T));
    outbox.append("u2", "x", T);
    EXPECT_EQ(db.rows(), 2);
}

TEST_F(OutboxTest, SameUuidTwiceKeepsTheFirstBody) {
    InstallationOutbox outbox(file);
    outbox.append("dup", "first", T);
    outbox.append("dup", "second", T + 5);
    Inspector db(file);
    EXPECT_EQ(db.rows(), 1);
    EXPECT_EQ(db.text("SELECT body FROM events"), "first");
    EXPECT_EQ(db.integer("SELECT created FROM events"), T);
    EXPECT_EQ(db.discarded(), 0);
}

TEST_F(OutboxTest, BodyAndUuidBoundsAreRefusedBeforeAnythingIsWritten) {
    InstallationOutbox outbox(file);
    EXPECT_EQ(errorOf([&] { outbox.append("big", std::string(65537, 'a'), T); }),
              "installation_event_bounds");
    EXPECT_EQ(errorOf([&] { outbox.append("", "x", T); }), "installation_event_bounds");
    Inspector db(file);
    EXPECT_EQ(db.rows(), 0);
    outbox.append("max", std::string(65536, 'a'), T);
    EXPECT_EQ(db.integer("SELECT LENGTH(body) FROM events WHERE uuid='max'"), 65536);
}

TEST_F(OutboxTest, TheThousandAndFirstRowEvictsTheOldestByCreatedThenUuid) {
    InstallationOutbox outbox(file);
    Inspector db(file);
    // 1000 rows of one second: the oldest is decided by uuid ("r0000").
    db.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<999) "
            "INSERT INTO events(uuid,body,created,next) SELECT printf('r%04d',999-i),'b'," +
            std::to_string(T) + "," + std::to_string(T) + " FROM n");
    ASSERT_EQ(db.rows(), 1000);
    outbox.append("s-new", "b", T);
    EXPECT_EQ(db.rows(), 1000);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='r0000'"), 0);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='r0001'"), 1);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='s-new'"), 1);
    EXPECT_EQ(db.discarded(), 1);
}

TEST_F(OutboxTest, TotalBodySizeAboveTenMebibytesEvictsAndTheNewRowCanBeTheOldest) {
    InstallationOutbox outbox(file);
    Inspector db(file);
    // 160 bodies of 64 KiB are exactly 10 MiB: still within the limit.
    db.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<159) "
            "INSERT INTO events(uuid,body,created,next) SELECT printf('k%03d',i),hex(zeroblob(32768)),"
            "1000+" +
            std::to_string(T) + "+i,0 FROM n");
    ASSERT_EQ(db.integer("SELECT SUM(LENGTH(body)) FROM events"), 10485760);
    outbox.append("z-limit", "", T + 2000);
    EXPECT_EQ(db.rows(), 161) << "an empty body keeps the total at the limit";
    EXPECT_EQ(db.discarded(), 0);

    outbox.append("z-over", "1", T + 2000);
    EXPECT_EQ(db.rows(), 161);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='k000'"), 0);
    EXPECT_EQ(db.discarded(), 1);

    // Appended with an earlier time than every stored row, the new row is the oldest and goes itself.
    outbox.append("early", std::string(65536, 'e'), T);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='early'"), 0);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='k001'"), 1);
    EXPECT_EQ(db.discarded(), 2);
}

TEST_F(OutboxTest, SevenDaysOldIsStillSelectableOneSecondMoreIsNotAndIsDeletedOnAppend) {
    InstallationOutbox outbox(file);
    Inspector db(file);
    const std::int64_t now = T + 604800;
    outbox.append("edge", "e", T);
    outbox.append("stale", "s", T - 1);
    EXPECT_EQ(db.rows(), 2);
    EXPECT_EQ(db.discarded(), 0);

    const auto lease = outbox.leaseNext("l", now);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->uuid, "edge") << "the row one second past the limit would sort first";
    outbox.release(*lease, true, false, now);
    EXPECT_FALSE(outbox.leaseNext("l2", now));
    EXPECT_FALSE(outbox.hasPending(now)) << "only a row older than seven days remains";
    EXPECT_EQ(db.rows(), 1);

    outbox.append("fresh", "f", now);
    EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='stale'"), 0);
    EXPECT_EQ(db.discarded(), 1);
    EXPECT_TRUE(outbox.hasPending(now));
}

TEST_F(OutboxTest, ReleaseDeletesDeliveredAndCountsRejected) {
    InstallationOutbox outbox(file);
    Inspector db(file);
    outbox.append("a", "1", T);
    outbox.append("b", "2", T);
    const auto first = outbox.leaseNext("la", T);
    const auto second = outbox.leaseNext("lb", T);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->uuid, "a");
    EXPECT_EQ(second->uuid, "b");
    outbox.release(*first, true, false, T);
    EXPECT_EQ(db.rows(), 1);
    EXPECT_EQ(db.discarded(), 0);
    outbox.release(*second, false, true, T);
    EXPECT_EQ(db.rows(), 0);
    EXPECT_EQ(db.discarded(), 1);
}

TEST_F(OutboxTest, RetryDelaysDoubleFromTwoSecondsAndStopAtOneHour) {
    const std::int64_t expected[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 3600, 3600, 3600};
    for (std::int64_t attempts = 0; attempts < 15; ++attempts) {
        EXPECT_EQ(outboxRetryDelaySeconds(attempts), expected[attempts]) << attempts;
    }

    InstallationOutbox outbox(file);
    Inspector db(file);
    outbox.append("r", "body", T);
    auto lease = outbox.leaseNext("l1", T);
    ASSERT_TRUE(lease);
    outbox.release(*lease, false, false, T);
    EXPECT_EQ(db.integer("SELECT next FROM events"), T + 2);
    EXPECT_EQ(db.integer("SELECT until FROM events"), 0);
    EXPECT_EQ(db.text("SELECT lease FROM events"), "<null>");
    EXPECT_TRUE(outbox.hasPending(T + 1)) << "a row waiting for its retry is pending";
    EXPECT_FALSE(outbox.leaseNext("l2", T + 1));
    lease = outbox.leaseNext("l3", T + 2);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->attempts, 2);
    outbox.release(*lease, false, false, T + 2);
    EXPECT_EQ(db.integer("SELECT next FROM events"), T + 2 + 4);

    // The twelfth attempt and later wait an hour.
    db.exec("UPDATE events SET attempts=11,next=" + std::to_string(T));
    lease = outbox.leaseNext("l4", T + 10);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->attempts, 12);
    outbox.release(*lease, false, false, T + 10);
    EXPECT_EQ(db.integer("SELECT next FROM events"), T + 10 + 3600);
    EXPECT_FALSE(outbox.leaseNext("l5", T + 10 + 3599));
    EXPECT_TRUE(outbox.leaseNext("l6", T + 10 + 3600));
}

TEST_F(OutboxTest, AnExpiredLeaseIsTakenAgainAndTheLateReleaseTouchesNothing) {
    InstallationOutbox outbox(file);
    Inspector db(file);
    outbox.append("row", "body", T);
    const auto lost = outbox.leaseNext("first-holder", T);
    ASSERT_TRUE(lost);
    EXPECT_TRUE(outbox.hasPending(T + 59));
    EXPECT_FALSE(outbox.leaseNext("too-early", T + 59));
    const auto taken = outbox.leaseNext("second-holder", T + 60);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->uuid, "row");
    EXPECT_EQ(taken->attempts, 2);

    outbox.release(*lost, true, false, T + 61);
    outbox.release(*lost, false, true, T + 61);
    outbox.release(*lost, false, false, T + 61);
    EXPECT_EQ(db.rows(), 1);
    EXPECT_EQ(db.discarded(), 0);
    EXPECT_EQ(db.text("SELECT lease FROM events"), "second-holder");
    EXPECT_EQ(db.integer("SELECT until FROM events"), T + 120);
    EXPECT_EQ(db.integer("SELECT next FROM events"), T);

    outbox.release(*taken, true, false, T + 62);
    EXPECT_EQ(db.rows(), 0);
}

TEST_F(OutboxTest, HasPendingCountsLeasedRowsEvenWhenOld) {
    InstallationOutbox outbox(file);
    EXPECT_FALSE(outbox.hasPending(T));
    outbox.append("old", "x", T);
    const auto lease = outbox.leaseNext("l", T + 604800);
    ASSERT_TRUE(lease);
    EXPECT_TRUE(outbox.hasPending(T + 604801)) << "leased until T + 604860";
    EXPECT_FALSE(outbox.hasPending(T + 604860));
}

TEST_F(OutboxTest, ALockedDatabaseFailsAfterTheBusyTimeoutAndRollsNothingIn) {
    InstallationOutbox outbox(file);
    Inspector holder(file);
    holder.exec("BEGIN IMMEDIATE");
    EXPECT_EQ(errorOf([&] { outbox.append("blocked", "x", T); }), "installation_outbox_sql");
    EXPECT_EQ(failureOf([&] { outbox.append("blocked", "x", T); }), OutboxFailure::Busy);
    EXPECT_EQ(errorOf([&] { (void)outbox.leaseNext("l", T); }), "installation_outbox_sql");
    holder.exec("ROLLBACK");
    outbox.append("after", "x", T);
    EXPECT_EQ(holder.rows(), 1);
    EXPECT_EQ(holder.integer("SELECT COUNT(*) FROM events WHERE uuid='blocked'"), 0);
}

} // namespace
} // namespace ardenwick
