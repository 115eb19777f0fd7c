#pragma once

// The state that the PostHog client and its sender thread share; private to the two.
#include "telemetry/installation_outbox.h"
#include "telemetry/posthog_metrics.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ardenwick {

namespace posthog_limits {
inline constexpr std::size_t MemoryBatchSize = 20;
inline constexpr std::size_t MemoryQueueCapacity = 1000;
inline constexpr std::uint32_t MemoryBatchMaximumAttempts = 4;
/// Events kept while the outbox is busy; beyond this the oldest is dropped.
inline constexpr std::size_t KeptEventCapacity = 100;
/// The sender's back-off between tries of a busy outbox doubles up to this many times its base.
inline constexpr int BusyRetryMaximumDoublings = 4;
} // namespace posthog_limits

/// A durable event as it goes into the outbox: what append is given.
struct OutboxRow {
    std::string uuid;
    std::string body;
    std::int64_t created = 0;
    /// Tells kept rows apart (the oldest may be dropped while the sender appends it).
    std::uint64_t sequence = 0;
};

struct PostHogMetrics::State {
    MetricsConfiguration configuration;
    MetricsOptions options;
    MetricsPlatform platform;
    bool active = false;
    std::unique_ptr<InstallationOutbox> outbox;
    /// Where the outbox lives; none once an open failed for good (or there never was one).
    std::optional<WidePath> outboxPath;
    /// A statement found the file damaged: the next append sets it aside and opens a fresh outbox.
    bool outboxDamaged = false;
    /// Tries of a busy outbox that failed in a row (sender's back-off).
    int busyRetries = 0;
    EventProperties installContext;
    BatchEndpoint endpoint;
    std::string distinctId;
    std::string memoryDistinctId;
    std::string installationId;
    bool identified = false;
    EventProperties personProperties;

    mutable std::mutex mutex;
    std::condition_variable senderWake;
    std::condition_variable flushWake;
    bool stop = false;
    bool flushRequested = false;
    bool sending = false;
    bool senderEnded = false;
    std::condition_variable senderEndWake;
    std::deque<MetricsEvent> queue;
    std::thread sender;

    // Rows that met a busy outbox, oldest first, and whether later rows join them. Guarded by keptMutex
    // alone (taken after mutex, never before it), so that the recording thread never waits for the
    // sender's tries of the busy file.
    mutable std::mutex keptMutex;
    std::deque<OutboxRow> kept;
    bool deferring = false;
    std::uint64_t keptSequence = 0;

    [[nodiscard]] DeliveryResult deliver(const std::string& body) const;
    void addApplicationContext(EventProperties& properties) const;
    // Under the mutex: gives the event its uuid and queues it, dropping the oldest at capacity.
    void enqueue(MetricsEvent event);
    // Under the mutex.
    [[nodiscard]] bool pending() const;
    // Under the mutex (or before the sender starts): opens the outbox at outboxPath, setting a damaged file
    // aside first. Throws OutboxError; a failure other than busy leaves the client without an outbox.
    void openOutbox();
    // Under keptMutex: keeps a row for the sender, dropping the oldest beyond the capacity.
    void keepLocked(OutboxRow row);
    /// Keeps the row when rows are being kept; false when it is to be appended now.
    bool keepWhileDeferring(OutboxRow& row);
    // Under the mutex: appends a new row, or keeps it when the outbox is busy; other failures drop it.
    void storeDurable(OutboxRow row);
    // Under the mutex: appends, first opening (after a damage: a fresh) outbox. Throws OutboxError.
    void appendToOutbox(const OutboxRow& row);
    // Under the mutex: the sender's try of the kept rows, in order; false while the outbox stays busy.
    bool appendKeptRows();
    [[nodiscard]] std::chrono::milliseconds busyRetryDelay() const;
    // Under the mutex: a statement that found the file damaged leaves it to the next append.
    void noteDamage(const OutboxError& error);
    // Under the mutex: nothing left for flush to wait on from the memory side.
    void memoryQueueDrained();
    /// The sender thread's body: outbox rows and memory batches until stop.
    void senderLoop();

private:
    void runCycles();
    // Leases, delivers and releases one outbox row; errors leave the row as the outbox has it.
    bool deliverOneOutboxRow(std::unique_lock<std::mutex>& lock);
};

} // namespace ardenwick
