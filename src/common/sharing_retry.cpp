#include "common/sharing_retry.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace ardenwick {

bool isTransientError(std::uint32_t error, TransientErrors errors) noexcept {
    if (error == SharingViolationError || error == LockViolationError) {
        return true;
    }
    return errors == TransientErrors::SharingOrAccessDenied && error == AccessDeniedError;
}

SharingRetrySchedule::SharingRetrySchedule(const SharingRetryTimings& timings, std::stop_token stopToken,
                                           TransientErrors errors)
    : timings_(timings), stopToken_(std::move(stopToken)), errors_(errors), nextDelay_(timings.firstDelay) {}

bool SharingRetrySchedule::waitBeforeRetry(std::uint32_t error) {
    if (!isTransientError(error, errors_) || stopToken_.stop_requested()) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (retries_ == 0) {
        deadline_ = now + timings_.limit;
    }
    if (now >= deadline_) {
        return false;
    }
    // The last wait is cut short so that the last try comes at the limit, not after it.
    const auto delay = std::min<std::chrono::steady_clock::duration>(nextDelay_, deadline_ - now);
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    if (woken.wait_for(lock, stopToken_, delay, [] { return false; }) || stopToken_.stop_requested()) {
        return false;
    }
    nextDelay_ = std::min(nextDelay_ * 2, timings_.longestDelay);
    ++retries_;
    return true;
}

} // namespace ardenwick
