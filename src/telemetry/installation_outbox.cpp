#include "telemetry/installation_outbox.h"

#include "common/file_system.h"
#include "telemetry/outbox_damage.h"
#ifdef _WIN32
#include "telemetry/wal_index_backing.h"
#endif

#include <sqlite3.h>

#include <algorithm>
#include <stdexcept>

namespace ardenwick {

namespace {

using namespace outbox_limits;

constexpr const char* SchemaScript =
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
    "CREATE TABLE IF NOT EXISTS events(uuid TEXT PRIMARY KEY,body TEXT NOT NULL,created INTEGER NOT NULL,"
    "next INTEGER NOT NULL,lease TEXT,until INTEGER NOT NULL DEFAULT 0,attempts INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS diagnostics(name TEXT PRIMARY KEY,count INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS first_launch(singleton INTEGER PRIMARY KEY CHECK(singleton=1),uuid TEXT NOT "
    "NULL);"
    "CREATE TABLE IF NOT EXISTS first_launch_candidate(singleton INTEGER PRIMARY KEY CHECK(singleton=1),"
    "eligible INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO diagnostics VALUES('discarded',0);";

[[noreturn]] void fail(const char* operation, int result) {
    throw OutboxError(operation, outboxFailureOf(result));
}

[[noreturn]] void failOther(const char* operation) {
    throw OutboxError(operation, OutboxFailure::Other);
}

/// A prepared statement, finalised on every path.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (const int result = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); result != SQLITE_OK) {
            sqlite3_finalize(statement_);
            fail("installation_outbox_prepare", result);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement_); }

    Statement& bind(int index, std::string_view text) {
        // The length comes from the terminating NUL, as in a C string, and SQLite keeps its own copy.
        const std::string copy(text);
        if (const int result = sqlite3_bind_text(statement_, index, copy.c_str(), -1, SQLITE_TRANSIENT);
            result != SQLITE_OK) {
            fail("installation_outbox_write", result);
        }
        return *this;
    }
    Statement& bind(int index, std::int64_t value) {
        if (const int result = sqlite3_bind_int64(statement_, index, value); result != SQLITE_OK) {
            fail("installation_outbox_write", result);
        }
        return *this;
    }
    /// Runs a statement that returns no row.
    void write() {
        if (const int result = sqlite3_step(statement_); result != SQLITE_DONE) {
            fail("installation_outbox_write", result);
        }
    }
    /// Steps to the next row; false at the end, throws on an error.
    bool row(const char* operation) {
        const int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW) {
            return true;
        }
        if (result == SQLITE_DONE) {
            return false;
        }
        fail(operation, result);
    }
    [[nodiscard]] std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    [[nodiscard]] std::string text(int column) const {
        const auto* data = sqlite3_column_text(statement_, column);
        const int length = sqlite3_column_bytes(statement_, column);
        return data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), length);
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};

WidePath parentFolder(const WidePath& path) {
    // Up to the last separator, ignoring trailing ones; both separators count on every platform.
    std::wstring text = path.native();
    while (!text.empty() && WidePath::isSeparator(text.back())) {
        text.pop_back();
    }
    std::size_t last = text.size();
    while (last > 0 && !WidePath::isSeparator(text[last - 1])) {
        --last;
    }
    if (last == 0) {
        return {};
    }
    return WidePath(text.substr(0, last - 1));
}

} // namespace

std::int64_t outboxRetryDelaySeconds(std::int64_t attempts) {
    const std::int64_t exponent = std::clamp<std::int64_t>(attempts, 0, 12);
    return std::min<std::int64_t>(std::int64_t{1} << exponent, MaximumRetryDelaySeconds);
}

OutboxFailure outboxFailureOf(int sqliteResult) noexcept {
    switch (sqliteResult & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return OutboxFailure::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return OutboxFailure::Busy;
    case SQLITE_ERROR:
        return OutboxFailure::Unusable;
    default:
        return OutboxFailure::Other;
    }
}

InstallationOutbox::InstallationOutbox(const WidePath& path, int busyTimeoutMilliseconds) {
    const WidePath folder = parentFolder(path);
    if (!folder.empty()) {
        createDirectories(folder);
    }
    const char* operation = nullptr;
    int result = open(path, busyTimeoutMilliseconds, operation);
    // Once set aside (or found replaced by a peer), the path is tried once more; a second damage in a
    // row is left to the next try.
    for (int tries = 0; outboxFailureOf(result) == OutboxFailure::Damaged && tries < 2; ++tries) {
        const SetAside outcome = setAsideIfStillDamaged(path, fileIdentity(path));
        if (outcome == SetAside::Readable) {
            // A schema entry our SQLite cannot parse: the file is sound, only not ours to use.
            throw OutboxError(operation, OutboxFailure::Unusable);
        }
        if (outcome == SetAside::Busy) {
            throw OutboxError(operation, OutboxFailure::Busy);
        }
        result = open(path, busyTimeoutMilliseconds, operation);
    }
    if (result == SQLITE_OK) {
        file_ = fileIdentity(path);
        return;
    }
    // A scanner or a backup holding the file for a moment: tried again as for a lock.
    if ((result & 0xFF) == SQLITE_CANTOPEN || (result & 0xFF) == SQLITE_IOERR) {
        throw OutboxError(operation, OutboxFailure::Busy);
    }
    fail(operation, result);
}

int InstallationOutbox::open(const WidePath& path, int busyTimeoutMilliseconds, const char*& operation) {
    const std::u16string name = path.u16string();
#ifdef _WIN32
    // A full volume must fail the outbox, never fault inside its memory-mapped WAL index.
    backWalIndexGrowth();
#endif
    operation = "installation_outbox_open";
    int result = sqlite3_open16(name.c_str(), &db_);
    if (result == SQLITE_OK) {
        operation = "installation_outbox_sql";
        sqlite3_busy_timeout(db_, busyTimeoutMilliseconds);
        result = sqlite3_exec(db_, SchemaScript, nullptr, nullptr, nullptr);
    }
    if (result != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
    return result;
}

InstallationOutbox::~InstallationOutbox() {
    sqlite3_close(db_);
}

void InstallationOutbox::setBusyTimeout(int milliseconds) noexcept {
    sqlite3_busy_timeout(db_, milliseconds);
}

void InstallationOutbox::exec(const char* sql) {
    if (const int result = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); result != SQLITE_OK) {
        fail("installation_outbox_sql", result);
    }
}

void InstallationOutbox::append(std::string_view uuid, std::string_view body, std::int64_t now) {
    if (uuid.empty() || body.size() > MaximumBodyBytes) {
        failOther("installation_event_bounds");
    }
    exec("BEGIN IMMEDIATE");
    try {
        Statement(db_, "INSERT OR IGNORE INTO events(uuid,body,created,next) VALUES(?,?,?,?)")
            .bind(1, uuid)
            .bind(2, body)
            .bind(3, now)
            .bind(4, now)
            .write();
        Statement expire(db_, "DELETE FROM events WHERE created<?");
        expire.bind(1, now - MaximumAgeSeconds).write();
        std::int64_t removed = sqlite3_changes(db_);
        while (true) {
            Statement count(db_, "SELECT COUNT(*),COALESCE(SUM(LENGTH(body)),0) FROM events");
            if (!count.row("installation_outbox_count")) {
                failOther("installation_outbox_count");
            }
            if (count.integer(0) <= MaximumRows && count.integer(1) <= MaximumTotalBodyBytes) {
                break;
            }
            Statement evict(
                db_, "DELETE FROM events WHERE uuid=(SELECT uuid FROM events ORDER BY created,uuid LIMIT 1)");
            evict.write();
            ++removed;
        }
        Statement discarded(db_, "UPDATE diagnostics SET count=count+? WHERE name='discarded'");
        discarded.bind(1, removed).write();
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::optional<OutboxLease> InstallationOutbox::leaseNext(std::string_view leaseId, std::int64_t now) {
    exec("BEGIN IMMEDIATE");
    try {
        std::optional<OutboxLease> lease;
        {
            Statement select(
                db_, "SELECT uuid,body,attempts FROM events WHERE next<=? AND until<=? AND created>=? "
                     "ORDER BY created,uuid LIMIT 1");
            select.bind(1, now).bind(2, now).bind(3, now - MaximumAgeSeconds);
            if (select.row("installation_outbox_sql")) {
                lease = OutboxLease{select.text(0), select.text(1), std::string(leaseId),
                                    static_cast<std::int32_t>(select.integer(2) + 1)};
            }
        }
        if (lease) {
            Statement take(db_, "UPDATE events SET lease=?,until=?,attempts=attempts+1 WHERE uuid=?");
            take.bind(1, leaseId).bind(2, now + LeaseSeconds).bind(3, lease->uuid).write();
        }
        exec("COMMIT");
        return lease;
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void InstallationOutbox::release(const OutboxLease& lease, bool delivered, bool rejected, std::int64_t now) {
    if (delivered || rejected) {
        Statement remove(db_, "DELETE FROM events WHERE uuid=? AND lease=?");
        remove.bind(1, lease.uuid).bind(2, lease.leaseId).write();
        // A lease taken over by another process deletes nothing and must not be counted either.
        if (rejected && sqlite3_changes(db_) > 0) {
            Statement discarded(db_, "UPDATE diagnostics SET count=count+1 WHERE name='discarded'");
            discarded.write();
        }
        return;
    }
    Statement retry(db_, "UPDATE events SET next=?,until=0,lease=NULL WHERE uuid=? AND lease=?");
    retry.bind(1, now + outboxRetryDelaySeconds(lease.attempts))
        .bind(2, lease.uuid)
        .bind(3, lease.leaseId)
        .write();
}

bool InstallationOutbox::hasPending(std::int64_t now) {
    Statement pending(db_, "SELECT EXISTS(SELECT 1 FROM events WHERE created>=? OR until>?)");
    pending.bind(1, now - MaximumAgeSeconds).bind(2, now);
    if (!pending.row("installation_outbox_count")) {
        failOther("installation_outbox_count");
    }
    return pending.integer(0) != 0;
}

} // namespace ardenwick
