// The sender thread of the PostHog client: outbox rows one at a time, memory-queue events in batches,
// with the memory side's retries and back-off.
#include "telemetry/posthog_metrics_state.h"

#include "telemetry/analytics_identifiers.h"
#include "telemetry/batch_serializer.h"
#include "telemetry/event_timestamp.h"

#include <algorithm>

namespace ardenwick {

using namespace posthog_limits;

DeliveryResult PostHogMetrics::State::deliver(const std::string& body) const {
    if (options.batchSender) {
        return options.batchSender(body) ? DeliveryResult::Delivered : DeliveryResult::Retry;
    }
    return platform.postBatch(endpoint, body);
}

void PostHogMetrics::State::enqueue(MetricsEvent event) {
    event.uuid = newUuidV4();
    if (queue.size() >= MemoryQueueCapacity) {
        queue.pop_front();
    }
    queue.push_back(std::move(event));
    if (queue.size() >= MemoryBatchSize) {
        senderWake.notify_one();
    }
}

bool PostHogMetrics::State::pending() const {
    if (!queue.empty() || sending) {
        return true;
    }
    if (!outbox) {
        return false;
    }
    try {
        return outbox->hasPending(currentUnixSeconds());
    } catch (...) {
        // An unreadable outbox cannot be waited for.
        return false;
    }
}

void PostHogMetrics::State::memoryQueueDrained() {
    flushRequested = false;
    flushWake.notify_all();
}

void PostHogMetrics::State::senderLoop() {
    try {
        runCycles();
    } catch (...) {
        // The client sends nothing more; whoever waits in flush must not wait for it.
        std::lock_guard lock(mutex);
        queue.clear();
        sending = false;
        flushRequested = false;
        flushWake.notify_all();
    }
    std::lock_guard lock(mutex);
    senderEnded = true;
    senderEndWake.notify_all();
}

void PostHogMetrics::State::runCycles() {
    std::unique_lock lock(mutex);
    while (true) {
        if (stop) {
            return;
        }
        const bool leased = deliverOneOutboxRow(lock);
        if (!leased) {
            senderWake.wait_for(lock, platform.idleWait,
                                [this] { return stop || flushRequested || queue.size() >= MemoryBatchSize; });
        }
        if (stop) {
            return;
        }
        if (queue.empty()) {
            memoryQueueDrained();
            continue;
        }
        std::vector<MetricsEvent> batch;
        const std::size_t count = std::min(queue.size(), MemoryBatchSize);
        for (std::size_t i = 0; i < count; ++i) {
            batch.push_back(std::move(queue.front()));
            queue.pop_front();
        }
        sending = true;
        lock.unlock();
        const DeliveryResult result = deliver(serializeBatch(configuration.apiKey, batch));
        lock.lock();
        sending = false;
        std::chrono::milliseconds delay{0};
        if (result == DeliveryResult::Retry) {
            std::uint32_t largest = 0;
            for (auto& event : batch) {
                largest = std::max(largest, ++event.attempts);
            }
            if (largest <= MemoryBatchMaximumAttempts) {
                for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
                    queue.push_front(std::move(*it));
                }
                delay = platform.memoryRetryBaseDelay * (1LL << (largest - 1));
            }
        }
        if (queue.empty()) {
            memoryQueueDrained();
        }
        if (delay.count() > 0) {
            const auto until = std::chrono::steady_clock::now() + delay;
            senderWake.wait_until(lock, until, [this] { return stop; });
        }
    }
}

bool PostHogMetrics::State::deliverOneOutboxRow(std::unique_lock<std::mutex>& lock) {
    if (!outbox) {
        return false;
    }
    std::optional<OutboxLease> lease;
    try {
        lease = outbox->leaseNext(newUuidV4(), currentUnixSeconds());
    } catch (...) {
        return false;
    }
    if (!lease) {
        return false;
    }
    lock.unlock();
    std::optional<DeliveryResult> result;
    try {
        result = deliver(lease->body);
    } catch (...) {
    }
    lock.lock();
    if (result) {
        try {
            outbox->release(*lease, *result == DeliveryResult::Delivered, *result == DeliveryResult::Rejected,
                            currentUnixSeconds());
        } catch (...) {
        }
    }
    return true;
}

} // namespace ardenwick
