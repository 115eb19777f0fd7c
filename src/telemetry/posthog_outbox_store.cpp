// How the PostHog client gets durable events into its outbox: a damaged file gives way to a fresh
// outbox, a busy one delays events in memory until the sender can append them, and a shared file that is
// readable but cannot take our rows leaves them to the client's own outbox beside it.
#include "telemetry/outbox_damage.h"
#include "telemetry/posthog_metrics_state.h"

#include <algorithm>

namespace ardenwick {

using namespace posthog_limits;

WidePath ownOutboxPath(const WidePath& shared) {
    std::wstring text = shared.native();
    constexpr std::wstring_view extension = L".db";
    if (text.size() > extension.size() && text.ends_with(extension)) {
        text.resize(text.size() - extension.size());
    }
    return WidePath(text + L".installer.db");
}

int PostHogMetrics::State::busyTimeoutNow() const {
    std::optional<std::chrono::steady_clock::time_point> until = recordingDeadline;
    if (const auto deadline = lastTryDeadline.load(); deadline != 0) {
        const std::chrono::steady_clock::time_point last{std::chrono::steady_clock::duration(deadline)};
        until = until ? std::min(*until, last) : last;
    }
    if (!until) {
        return outbox_limits::BusyTimeoutMilliseconds;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*until - std::chrono::steady_clock::now());
    return static_cast<int>(
        std::clamp<std::int64_t>(left.count(), 0, outbox_limits::BusyTimeoutMilliseconds));
}

void PostHogMetrics::State::limitBusyTimeout(OutboxSlot& slot) const {
    if ((lastTryDeadline.load() != 0 || recordingDeadline) && slot.outbox) {
        slot.outbox->setBusyTimeout(busyTimeoutNow());
    }
}

bool PostHogMetrics::State::hasKeptRows() const {
    std::lock_guard keptLock(keptMutex);
    return !kept.empty();
}

void PostHogMetrics::State::openOutbox(OutboxSlot& slot) {
    slot.outbox.reset();
    try {
        if (slot.damaged) {
            switch (setAsideIfStillDamaged(*slot.path, slot.damagedFile)) {
            case SetAside::Moved:
            case SetAside::Replaced:
                break;
            case SetAside::Readable:
                // What looked like damage was a schema entry our SQLite cannot parse.
                slot.damaged = false;
                throw OutboxError("installation_outbox_set_aside", OutboxFailure::Unusable);
            case SetAside::Busy:
                throw OutboxError("installation_outbox_set_aside", OutboxFailure::Busy);
            }
            slot.damaged = false;
            slot.damagedFile.reset();
        }
        slot.outbox = std::make_unique<InstallationOutbox>(*slot.path, busyTimeoutNow());
    } catch (const OutboxError& error) {
        if (error.kind() == OutboxFailure::Other) {
            // Read-only, no folder: the slot stays without a file for this run.
            slot.path.reset();
        }
        throw;
    } catch (...) {
        slot.path.reset();
        throw;
    }
}

void PostHogMetrics::State::openOwnOutboxIfPresent() {
    if (!own.path || own.outbox || own.damaged || !fileIdentity(*own.path)) {
        return;
    }
    try {
        openOutbox(own);
    } catch (...) {
        // Busy: tried again next cycle; otherwise the slot has no file any more.
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
    if (!deferring && !handOver) {
        return false;
    }
    deferring = true;
    keepLocked(std::move(row));
    return true;
}

void PostHogMetrics::State::keepAfterBusy(OutboxRow row) {
    std::lock_guard keptLock(keptMutex);
    deferring = true;
    handOver = true;
    keepLocked(std::move(row));
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
            keepAfterBusy(std::move(row));
        }
        // Any other failure drops the event.
    }
}

void PostHogMetrics::State::noteDamage(OutboxSlot& slot, const OutboxError& error) {
    if (error.kind() == OutboxFailure::Damaged && !slot.damaged) {
        slot.damaged = true;
        slot.damagedFile = slot.outbox ? slot.outbox->file() : std::nullopt;
    }
}

void PostHogMetrics::State::appendToSlot(OutboxSlot& slot, const OutboxRow& row) {
    for (bool retried = false;; retried = true) {
        if (!slot.path) {
            throw OutboxError("installation_outbox_open", OutboxFailure::Other);
        }
        if (!slot.open()) {
            openOutbox(slot);
        }
        limitBusyTimeout(slot);
        try {
            slot.outbox->append(row.uuid, row.body, row.created);
            return;
        } catch (const OutboxError& error) {
            if (error.kind() != OutboxFailure::Damaged || retried) {
                throw;
            }
            noteDamage(slot, error);
        }
    }
}

void PostHogMetrics::State::appendToOutbox(const OutboxRow& row) {
    if (!sharedUnusable) {
        try {
            appendToSlot(shared, row);
            return;
        } catch (const OutboxError& error) {
            if (error.kind() != OutboxFailure::Unusable || !own.path) {
                throw;
            }
            // Nothing of the shared file changes; the application goes on using it as before.
            sharedUnusable = true;
        }
    }
    appendToSlot(own, row);
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
            } else if (OutboxSlot& target = sharedUnusable ? own : shared; target.path && !target.open()) {
                // Nothing kept yet (the open itself was busy): open, so that the next event need not.
                openOutbox(target);
            }
        } catch (const OutboxError& error) {
            if (error.kind() == OutboxFailure::Busy) {
                ++busyRetries;
                return false;
            }
            if (error.kind() == OutboxFailure::Unusable && !row && own.path) {
                sharedUnusable = true;
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
