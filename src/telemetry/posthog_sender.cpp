// The sender thread of the PostHog client: outbox rows one at a time, memory-queue events in batches,
// with the memory side's retries and back-off.
#include "telemetry/posthog_metrics_state.h"

#include "telemetry/analytics_identifiers.h"
#include "telemetry/batch_serializer.h"
#include "telemetry/event_timestamp.h"

#include <algorithm>

namespace ardenwick {

using namespace posthog_limits;

namespace {
// While the client ends, the pause between tries of kept rows; each try waits itself on the lock.
constexpr std::chrono::milliseconds LastTryPause{20};
} // namespace

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
    {
        std::lock_guard keptLock(keptMutex);
        if (!kept.empty()) {
            return true;
        }
    }
    std::unique_lock outboxLock(outboxMutex, std::try_to_lock);
    if (!outboxLock) {
        // The sender is inside a call on the outbox; flush asks again when its cycle ends.
        return true;
    }
    const std::int64_t now = currentUnixSeconds();
    for (const OutboxSlot* slot : {&shared, &own}) {
        try {
            if (slot->open() && slot->outbox->hasPending(now)) {
                return true;
            }
        } catch (...) {
            // An unreadable outbox cannot be waited for.
        }
    }
    return false;
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
        // The outbox is served without the client's mutex, so that recording never waits for it.
        lock.unlock();
        bool outboxReady = false;
        std::chrono::milliseconds retryDelay{0};
        {
            std::lock_guard outboxLock(outboxMutex);
            // Rows kept while the outbox was busy go first, in order; while it stays busy, nothing is
            // leased and the next try comes after the back-off.
            outboxReady = appendKeptRows();
            openOwnOutboxIfPresent();
            retryDelay = busyRetryDelay();
        }
        // The own outbox is drained as well, in this run and in later ones, until it is empty.
        const bool leased = outboxReady && (deliverOneOutboxRow(shared) || deliverOneOutboxRow(own));
        lock.lock();
        if (!leased) {
            auto wait = outboxReady ? platform.idleWait : std::min(platform.idleWait, retryDelay);
            if (lastTryDeadline.load() != 0 && !outboxReady) {
                // The client is ending: kept rows are tried again at once until its budget runs out.
                wait = std::min(wait, LastTryPause);
            }
            senderWake.wait_for(lock, wait,
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

bool PostHogMetrics::State::deliverOneOutboxRow(OutboxSlot& slot) {
    std::unique_lock outboxLock(outboxMutex);
    if (!slot.open()) {
        return false;
    }
    limitBusyTimeout(slot);
    std::optional<OutboxLease> lease;
    try {
        lease = slot.outbox->leaseNext(newUuidV4(), currentUnixSeconds());
    } catch (const OutboxError& error) {
        noteDamage(slot, error);
        return false;
    } catch (...) {
        return false;
    }
    if (!lease) {
        return false;
    }
    outboxLock.unlock();
    std::optional<DeliveryResult> result;
    try {
        result = deliver(lease->body);
    } catch (...) {
    }
    outboxLock.lock();
    // A damage found meanwhile may have replaced the outbox: the lease belongs to the old file.
    if (result && slot.open()) {
        limitBusyTimeout(slot);
        try {
            slot.outbox->release(*lease, *result == DeliveryResult::Delivered,
                                 *result == DeliveryResult::Rejected, currentUnixSeconds());
        } catch (const OutboxError& error) {
            noteDamage(slot, error);
        } catch (...) {
        }
    }
    return true;
}

} // namespace ardenwick
