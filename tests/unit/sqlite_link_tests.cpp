#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// Proves the SQLite build each preset links (system library natively, amalgamation for Windows) can
// create a file database with the journal mode the outbox relies on.
TEST(SqliteLink, OpensAFileDatabaseInWalModeAndRoundTripsARow) {
    const auto path =
        std::filesystem::temp_directory_path() /
        ("ardenwick-sqlite-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".db");
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    ASSERT_EQ(
        sqlite3_open_v2(path.string().c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
        SQLITE_OK);
    EXPECT_TRUE(sqlite3_threadsafe());
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE t(x TEXT); INSERT INTO t VALUES('ok');",
                           nullptr, nullptr, &error),
              SQLITE_OK)
        << (error ? error : "");
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "wal");
    sqlite3_finalize(statement);
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT x FROM t", -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "ok");
    sqlite3_finalize(statement);
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
    std::filesystem::remove(path);
    std::filesystem::remove(path.string() + "-wal");
    std::filesystem::remove(path.string() + "-shm");
}

} // namespace
