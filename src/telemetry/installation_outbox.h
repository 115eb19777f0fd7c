#pragma once

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
    /// SQLITE_CORRUPT or SQLITE_NOTADB: the file is set aside and a fresh outbox takes its place.
    Damaged,
    /// SQLITE_BUSY or SQLITE_LOCKED, or a damaged file that could not be moved: try again later.
    Busy,
    /// Anything else (read-only, I/O, disk full, bounds): the file is never moved.
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

/// Moves a damaged outbox file aside as path + ".corrupt", with its "-wal" and "-shm" files, replacing
/// those of an earlier damage. Throws OutboxError (Busy) when the file cannot be moved, as when another
/// process holds it open.
void setAsideDamagedOutbox(const WidePath& path);

/// The durable event queue shared by every process that uses the same project key. Each row is one
/// ready-to-send batch body. Every operation takes now (seconds since 1970) from the caller; failures
/// throw std::runtime_error named by the operation ("installation_outbox_sql"…).
class InstallationOutbox {
public:
    /// Creates the parent folders, opens (or creates) the database and runs the schema script. A damaged
    /// file is set aside and a fresh outbox created in its place.
    explicit InstallationOutbox(const WidePath& path);
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

private:
    /// Opens and runs the schema script; SQLite's result, with the failed step's name in operation and
    /// the connection closed on failure.
    int open(const WidePath& path, const char*& operation);
    void exec(const char* sql);
    sqlite3* db_ = nullptr;
};

} // namespace ardenwick
