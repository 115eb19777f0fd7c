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
} // namespace posthog_limits

struct PostHogMetrics::State {
    MetricsConfiguration configuration;
    MetricsOptions options;
    MetricsPlatform platform;
    bool active = false;
    std::unique_ptr<InstallationOutbox> outbox;
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

    [[nodiscard]] DeliveryResult deliver(const std::string& body) const;
    void addApplicationContext(EventProperties& properties) const;
    // Under the mutex: gives the event its uuid and queues it, dropping the oldest at capacity.
    void enqueue(MetricsEvent event);
    // Under the mutex.
    [[nodiscard]] bool pending() const;
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
