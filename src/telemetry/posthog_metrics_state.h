#pragma once

// The state that the PostHog client and its sender thread share; private to the two.
#include "telemetry/installation_outbox.h"
#include "telemetry/posthog_metrics.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
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

/// One outbox file the client writes or drains: the shared one, or the client's own beside it.
struct OutboxSlot {
    /// Where the file lives; none once an open failed for good (or there never was one).
    std::optional<WidePath> path;
    std::unique_ptr<InstallationOutbox> outbox;
    /// A statement found the file damaged: the next append checks it again and sets it aside if it
    /// still is. The file then found damaged, when it could be looked at.
    bool damaged = false;
    std::optional<FileIdentity> damagedFile;

    [[nodiscard]] bool open() const noexcept { return outbox && !damaged; }
};

/// The client's own outbox beside the shared one: "<name>.installer.db" for "<name>.db". It takes the
/// run's events when the shared file is readable but cannot take them, and only this program reads it.
[[nodiscard]] WidePath ownOutboxPath(const WidePath& shared);

struct PostHogMetrics::State {
    MetricsConfiguration configuration;
    MetricsOptions options;
    MetricsPlatform platform;
    bool active = false;
    // The outbox files and what is known of them are guarded by outboxMutex, taken after mutex and never
    // before it. The sender takes it alone for its SQLite calls, which may wait out another process's
    // lock; the recording thread waits for it one busy timeout at most (DurableWriteWait), once a run.
    mutable std::timed_mutex outboxMutex;
    OutboxSlot shared;
    OutboxSlot own;
    /// The shared file cannot take our rows in this run (see OutboxFailure::Unusable): they go to own.
    bool sharedUnusable = false;
    /// Tries of a busy outbox that failed in a row (sender's back-off).
    int busyRetries = 0;
    /// Set by the destructor (steady-clock ticks, 0 before): until then the sender tries kept rows again
    /// at once, whatever the back-off, and no SQLite call waits past it.
    std::atomic<std::chrono::steady_clock::rep> lastTryDeadline{0};
    /// Under outboxMutex: while recording appends, the end of its one busy timeout (see busyTimeoutNow).
    std::optional<std::chrono::steady_clock::time_point> recordingDeadline;
    /// While it lives (under outboxMutex), the outbox's calls wait no later than until; then the
    /// connections wait as long as before.
    class RecordingBudget {
    public:
        RecordingBudget(State& state, std::chrono::steady_clock::time_point until) : state_(state) {
            state_.recordingDeadline = until;
        }
        RecordingBudget(const RecordingBudget&) = delete;
        RecordingBudget& operator=(const RecordingBudget&) = delete;
        ~RecordingBudget() {
            state_.recordingDeadline.reset();
            for (OutboxSlot* slot : {&state_.shared, &state_.own}) {
                if (slot->outbox) {
                    slot->outbox->setBusyTimeout(state_.busyTimeoutNow());
                }
            }
        }

    private:
        State& state_;
    };
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

    // Rows left to the sender, oldest first, and whether later rows join them. Guarded by keptMutex alone,
    // taken last. handOver: the recording thread met a busy outbox once; it leaves every later row of the
    // run to the sender, so that it waits out the busy timeout once per run at most.
    mutable std::mutex keptMutex;
    std::deque<OutboxRow> kept;
    bool deferring = false;
    bool handOver = false;
    std::uint64_t keptSequence = 0;

    [[nodiscard]] DeliveryResult deliver(const std::string& body) const;
    void addApplicationContext(EventProperties& properties) const;
    // Under the mutex: gives the event its uuid and queues it, dropping the oldest at capacity.
    void enqueue(MetricsEvent event);
    // Under the mutex.
    [[nodiscard]] bool pending() const;
    // Under the mutex (or before the sender starts): opens the slot's outbox, first setting a file found
    // damaged aside if it still is. Throws OutboxError; a failure other than busy or unusable leaves the
    // slot without a file.
    void openOutbox(OutboxSlot& slot);
    // Under keptMutex: keeps a row for the sender, dropping the oldest beyond the capacity.
    void keepLocked(OutboxRow row);
    /// Keeps the row when rows are being kept; false when it is to be appended now.
    bool keepWhileDeferring(OutboxRow& row);
    /// Keeps a row that met a busy outbox; this run's later rows all go to the sender.
    void keepAfterBusy(OutboxRow row);
    // Under the mutex: appends a new row, or keeps it when the outbox is busy; other failures drop it.
    void storeDurable(OutboxRow row);
    // Under the mutex: appends to the shared outbox, or to the own one when the shared cannot take it.
    // Throws OutboxError.
    void appendToOutbox(const OutboxRow& row);
    // Under the mutex: appends to one slot, first opening (after a damage: a fresh) outbox.
    void appendToSlot(OutboxSlot& slot, const OutboxRow& row);
    // Under the mutex: the busy timeout for the next SQLite call, so that none waits past the
    // destructor's budget; limitBusyTimeout sets it on the slot's connection.
    [[nodiscard]] int busyTimeoutNow() const;
    void limitBusyTimeout(OutboxSlot& slot) const;
    [[nodiscard]] bool hasKeptRows() const;
    // Under the mutex: the sender's try of the kept rows, in order; false while the outbox stays busy.
    bool appendKeptRows();
    [[nodiscard]] std::chrono::milliseconds busyRetryDelay() const;
    // Under the mutex: a statement that found the file damaged leaves it to the next append.
    static void noteDamage(OutboxSlot& slot, const OutboxError& error);
    // Under the mutex: nothing left for flush to wait on from the memory side.
    void memoryQueueDrained();
    /// The sender thread's body: outbox rows and memory batches until stop.
    void senderLoop();
    // Under the mutex: opens the own outbox that an earlier run left, so that its rows are drained.
    void openOwnOutboxIfPresent();

private:
    void runCycles();
    // Leases, delivers and releases one outbox row; errors leave the row as the outbox has it.
    bool deliverOneOutboxRow(OutboxSlot& slot);
};

} // namespace ardenwick
