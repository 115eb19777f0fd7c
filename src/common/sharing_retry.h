#pragma once

// Virus scanners open a freshly written file the moment it is closed, reading it with sharing of read
// and write but not delete, and hold it for a few seconds. A step that needs the file to itself then
// fails with a sharing or lock violation that goes away by itself; these steps are tried again for a
// while instead of failing the attempt.

#include <chrono>
#include <cstdint>
#include <stop_token>

namespace ardenwick {

inline constexpr std::uint32_t AccessDeniedError = 5;      // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t SharingViolationError = 32; // ERROR_SHARING_VIOLATION
inline constexpr std::uint32_t LockViolationError = 33;    // ERROR_LOCK_VIOLATION

/// The back-off between tries and the limit of one step. The shipped values are the defaults; tests
/// shorten them.
struct SharingRetryTimings {
    std::chrono::milliseconds firstDelay{100};
    std::chrono::milliseconds longestDelay{1000};
    std::chrono::milliseconds limit{10000};
};

/// Which errors are passing: sharing and lock violations always; access denied only where a scanner
/// holding an executable image gives it (starting the verified installer).
enum class TransientErrors { Sharing, SharingOrAccessDenied };

[[nodiscard]] bool isTransientError(std::uint32_t error, TransientErrors errors) noexcept;

/// What a step answers for a failure with this error: never 0, which means success, even when the
/// platform left no error code (the caller still reports the code it got).
[[nodiscard]] constexpr std::uint32_t failedStep(std::uint32_t error) noexcept {
    return error != 0 ? error : 0xFFFFFFFFu;
}

/// The last answer of a step (0 for success) and how many times it was tried again.
struct SharingRetryOutcome {
    std::uint32_t error = 0;
    std::uint32_t retries = 0;
};

/// The waits between the tries of one step: 100 ms doubling up to 1 s, for at most the limit in all
/// counted from the first failure. A stop request ends the waiting at once.
class SharingRetrySchedule {
public:
    SharingRetrySchedule(const SharingRetryTimings& timings, std::stop_token stopToken,
                         TransientErrors errors);

    /// After a failed try: waits and returns true when the error is transient and time is left;
    /// returns false at once otherwise.
    [[nodiscard]] bool waitBeforeRetry(std::uint32_t error);
    [[nodiscard]] std::uint32_t retries() const noexcept { return retries_; }

private:
    SharingRetryTimings timings_;
    std::stop_token stopToken_;
    TransientErrors errors_;
    std::chrono::milliseconds nextDelay_;
    std::chrono::steady_clock::time_point deadline_{};
    std::uint32_t retries_ = 0;
};

/// Runs step (returning 0 or the error of its failure) until it succeeds, fails with an error that is
/// not transient, the limit is reached or a stop is requested. The caller fails with the last error
/// exactly as it would have without the retries.
template <typename Step>
[[nodiscard]] SharingRetryOutcome retryWhileShared(Step&& step, const SharingRetryTimings& timings,
                                                   const std::stop_token& stopToken,
                                                   TransientErrors errors = TransientErrors::Sharing) {
    SharingRetrySchedule schedule(timings, stopToken, errors);
    for (;;) {
        const std::uint32_t error = step();
        if (error == 0 || !schedule.waitBeforeRetry(error)) {
            return {error, schedule.retries()};
        }
    }
}

} // namespace ardenwick
