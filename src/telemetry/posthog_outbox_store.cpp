// How the PostHog client gets durable events into its outbox: a damaged file gives way to a fresh
// outbox, and a busy one delays events in memory until the sender can append them.
#include "telemetry/posthog_metrics_state.h"

#include <algorithm>

namespace ardenwick {

using namespace posthog_limits;

void PostHogMetrics::State::openOutbox() {
    outbox.reset();
    try {
        if (outboxDamaged) {
            setAsideDamagedOutbox(*outboxPath);
            outboxDamaged = false;
        }
        outbox = std::make_unique<InstallationOutbox>(*outboxPath);
    } catch (const OutboxError& error) {
        if (error.kind() != OutboxFailure::Busy) {
            // Read-only, I/O, no folder: the client goes on without an outbox.
            outboxPath.reset();
        }
        throw;
    } catch (...) {
        outboxPath.reset();
        throw;
    }
}

void PostHogMetrics::State::keepLocked(OutboxRow row) {
    row.sequence = ++keptSequence;
    if (kept.size() >= KeptEventCapacity) {
        kept.pop_front();
    }
    kept.push_back(std::move(row));
}

bool PostHogMetrics::State::keepWhileDeferring(OutboxRow& row) {
    std::lock_guard keptLock(keptMutex);
    if (!deferring) {
        return false;
    }
    keepLocked(std::move(row));
    return true;
}

void PostHogMetrics::State::storeDurable(OutboxRow row) {
    // Rows kept before this one go first.
    if (keepWhileDeferring(row)) {
        return;
    }
    try {
        appendToOutbox(row);
    } catch (const OutboxError& error) {
        if (error.kind() == OutboxFailure::Busy) {
            std::lock_guard keptLock(keptMutex);
            deferring = true;
            keepLocked(std::move(row));
        }
        // Any other failure drops the event.
    }
}

void PostHogMetrics::State::appendToOutbox(const OutboxRow& row) {
    for (bool retried = false;; retried = true) {
        if (!outboxPath) {
            throw OutboxError("installation_outbox_open", OutboxFailure::Other);
        }
        if (!outbox || outboxDamaged) {
            openOutbox();
        }
        try {
            outbox->append(row.uuid, row.body, row.created);
            return;
        } catch (const OutboxError& error) {
            if (error.kind() != OutboxFailure::Damaged || retried) {
                throw;
            }
            outboxDamaged = true;
        }
    }
}

bool PostHogMetrics::State::appendKeptRows() {
    while (true) {
        std::optional<OutboxRow> row;
        {
            std::lock_guard keptLock(keptMutex);
            if (!deferring) {
                return true;
            }
            if (!kept.empty()) {
                row = kept.front();
            }
        }
        try {
            if (row) {
                appendToOutbox(*row);
            } else if (outboxPath && (!outbox || outboxDamaged)) {
                // Nothing kept yet (the open itself was busy): open, so that the next event need not.
                openOutbox();
            }
        } catch (const OutboxError& error) {
            if (error.kind() == OutboxFailure::Busy) {
                ++busyRetries;
                return false;
            }
            // Other failures drop the row, as for a new event.
        } catch (...) {
        }
        std::lock_guard keptLock(keptMutex);
        if (row && !kept.empty() && kept.front().sequence == row->sequence) {
            kept.pop_front();
        }
        if (kept.empty()) {
            deferring = false;
            busyRetries = 0;
            return true;
        }
    }
}

std::chrono::milliseconds PostHogMetrics::State::busyRetryDelay() const {
    const int doublings = std::clamp(busyRetries - 1, 0, BusyRetryMaximumDoublings);
    return platform.busyRetryBaseDelay * (1LL << doublings);
}

} // namespace ardenwick
