#pragma once

#include "common/file_system.h"
#include "common/wide_path.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;

namespace ardenwick {

/// One row handed to the sender: deliver body, then release with the same lease id.
struct OutboxLease {
    std::string uuid;
    std::string body;
    std::string leaseId;
    /// The row's attempts including this lease.
    std::int32_t attempts = 0;
};

namespace outbox_limits {
inline constexpr std::int64_t MaximumAgeSeconds = 604800;
inline constexpr std::int64_t MaximumRows = 1000;
inline constexpr std::int64_t MaximumTotalBodyBytes = 10485760;
inline constexpr std::size_t MaximumBodyBytes = 65536;
inline constexpr std::int64_t LeaseSeconds = 60;
inline constexpr std::int64_t MaximumRetryDelaySeconds = 3600;
inline constexpr int BusyTimeoutMilliseconds = 1000;
} // namespace outbox_limits

/// Seconds a row waits after its attempts-th failed delivery: 2^min(attempts, 12), at most 3600.
[[nodiscard]] std::int64_t outboxRetryDelaySeconds(std::int64_t attempts);

/// What a failed outbox operation means for the events that meet it.
enum class OutboxFailure {
    /// SQLITE_CORRUPT or SQLITE_NOTADB: the file may be damaged. It is set aside only once a check of its
    /// own finds the damage real (setAsideIfStillDamaged); a schema our SQLite cannot parse is not.
    Damaged,
    /// SQLITE_BUSY or SQLITE_LOCKED, or SQLITE_CANTOPEN or SQLITE_IOERR at open (a scanner holding the
    /// file): try again later.
    Busy,
    /// A readable file that cannot take our rows: SQLITE_ERROR (a peer's object needs a module or a
    /// function this SQLite lacks), a schema entry it cannot parse, a damaged file that cannot be moved.
    Unusable,
    /// Anything else (read-only, disk full, bounds): the file is never moved and the event is dropped.
    Other,
};

/// The failure a SQLite result code (primary or extended) stands for.
[[nodiscard]] OutboxFailure outboxFailureOf(int sqliteResult) noexcept;

/// An outbox error: what() names the operation ("installation_outbox_sql"…), kind() what it means.
class OutboxError : public std::runtime_error {
public:
    OutboxError(const char* operation, OutboxFailure kind) : std::runtime_error(operation), kind_(kind) {}
    [[nodiscard]] OutboxFailure kind() const noexcept { return kind_; }

private:
    OutboxFailure kind_;
};

/// The durable event queue shared by every process that uses the same project key. Each row is one
/// ready-to-send batch body. Every operation takes now (seconds since 1970) from the caller; failures
/// throw std::runtime_error named by the operation ("installation_outbox_sql"…).
class InstallationOutbox {
public:
    /// Creates the parent folders, opens (or creates) the database and runs the schema script. A file
    /// whose damage a check confirms is set aside and a fresh outbox created in its place; one the check
    /// finds readable is left as it is (Unusable).
    explicit InstallationOutbox(const WidePath& path,
                                int busyTimeoutMilliseconds = outbox_limits::BusyTimeoutMilliseconds);
    InstallationOutbox(const InstallationOutbox&) = delete;
    InstallationOutbox& operator=(const InstallationOutbox&) = delete;
    ~InstallationOutbox();

    /// Stores a row (a repeated uuid keeps the first) and enforces age, row and size limits.
    void append(std::string_view uuid, std::string_view body, std::int64_t now);
    /// Takes the oldest deliverable row for 60 seconds.
    [[nodiscard]] std::optional<OutboxLease> leaseNext(std::string_view leaseId, std::int64_t now);
    /// Deletes a delivered or rejected row, or schedules a retry; touches nothing once the lease is lost.
    void release(const OutboxLease& lease, bool delivered, bool rejected, std::int64_t now);
    /// A row still deliverable (not older than 7 days) or leased.
    [[nodiscard]] bool hasPending(std::int64_t now);
    /// The file this connection opened, as it was at the open (none when it could not be looked at).
    [[nodiscard]] const std::optional<FileIdentity>& file() const noexcept { return file_; }
    /// How long a statement waits for another connection's lock; BusyTimeoutMilliseconds unless a
    /// caller with less time left shortens it.
    void setBusyTimeout(int milliseconds) noexcept;

private:
    /// Opens and runs the schema script; SQLite's result, with the failed step's name in operation and
    /// the connection closed on failure.
    int open(const WidePath& path, int busyTimeoutMilliseconds, const char*& operation);
    void exec(const char* sql);
    sqlite3* db_ = nullptr;
    std::optional<FileIdentity> file_;
};

} // namespace ardenwick
