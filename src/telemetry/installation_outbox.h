#pragma once

#include "common/wide_path.h"

#include <cstdint>
#include <optional>
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

/// The durable event queue shared by every process that uses the same project key. Each row is one
/// ready-to-send batch body. Every operation takes now (seconds since 1970) from the caller; failures
/// throw std::runtime_error named by the operation ("installation_outbox_sql"…).
class InstallationOutbox {
public:
    /// Creates the parent folders, opens (or creates) the database and runs the schema script.
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
    void exec(const char* sql);
    sqlite3* db_ = nullptr;
};

} // namespace ardenwick
