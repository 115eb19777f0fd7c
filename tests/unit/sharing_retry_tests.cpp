#include "common/sharing_retry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace ardenwick {
namespace {

using std::chrono::milliseconds;

// Short waits so the cases run in a moment; the shipped schedule is the same code with its defaults.
constexpr SharingRetryTimings QuickTimings{milliseconds(1), milliseconds(4), milliseconds(400)};

/// A step that answers the given errors in turn, then succeeds.
struct ScriptedStep {
    std::vector<std::uint32_t> answers;
    std::size_t calls = 0;
    std::uint32_t operator()() { return calls < answers.size() ? answers[calls++] : (++calls, 0u); }
};

TEST(SharingRetry, TriesAgainOnlyWhileTheErrorIsASharingOrLockViolation) {
    ScriptedStep passing{{SharingViolationError, LockViolationError, SharingViolationError}};
    const SharingRetryOutcome succeeded = retryWhileShared(std::ref(passing), QuickTimings, {});
    EXPECT_EQ(succeeded.error, 0u);
    EXPECT_EQ(succeeded.retries, 3u);
    EXPECT_EQ(passing.calls, 4u);

    // Any other error fails at once, also after transient ones, and is the answer the caller gets.
    ScriptedStep other{{SharingViolationError, 2u, SharingViolationError}};
    const SharingRetryOutcome failed = retryWhileShared(std::ref(other), QuickTimings, {});
    EXPECT_EQ(failed.error, 2u);
    EXPECT_EQ(failed.retries, 1u);
    EXPECT_EQ(other.calls, 2u);

    // Access denied passes only where it was asked for.
    ScriptedStep denied{{AccessDeniedError}};
    EXPECT_EQ(retryWhileShared(std::ref(denied), QuickTimings, {}).error, AccessDeniedError);
    EXPECT_EQ(denied.calls, 1u);
    ScriptedStep deniedImage{{AccessDeniedError, AccessDeniedError}};
    const SharingRetryOutcome started =
        retryWhileShared(std::ref(deniedImage), QuickTimings, {}, TransientErrors::SharingOrAccessDenied);
    EXPECT_EQ(started.error, 0u);
    EXPECT_EQ(started.retries, 2u);

    ScriptedStep first{{}};
    const SharingRetryOutcome atOnce = retryWhileShared(std::ref(first), QuickTimings, {});
    EXPECT_EQ(atOnce.error, 0u);
    EXPECT_EQ(atOnce.retries, 0u);
}

TEST(SharingRetry, GivesUpWithTheSameErrorAtTheLimitOrOnAStop) {
    std::size_t calls = 0;
    const auto alwaysShared = [&] {
        ++calls;
        return SharingViolationError;
    };
    const auto started = std::chrono::steady_clock::now();
    const SharingRetryOutcome limited = retryWhileShared(alwaysShared, QuickTimings, {});
    EXPECT_EQ(limited.error, SharingViolationError);
    EXPECT_GE(std::chrono::steady_clock::now() - started, QuickTimings.limit);
    EXPECT_EQ(limited.retries + 1, calls);
    EXPECT_GT(limited.retries, 2u);

    // A stop requested before the first wait: one try, no wait.
    std::stop_source stopped;
    stopped.request_stop();
    calls = 0;
    const SharingRetryOutcome atOnce = retryWhileShared(alwaysShared, QuickTimings, stopped.get_token());
    EXPECT_EQ(atOnce.error, SharingViolationError);
    EXPECT_EQ(calls, 1u);

    // A stop during a long wait ends it: the step is not tried after the stop. The retries run on a
    // thread of their own, so a wait that ignores the stop fails here instead of running out its minute.
    struct Waiting {
        std::stop_source stop;
        std::atomic<int> calls{0};
        std::promise<void> firstTry;
        std::promise<SharingRetryOutcome> outcome;
    };
    const auto waiting = std::make_shared<Waiting>();
    std::future<void> firstTry = waiting->firstTry.get_future();
    std::future<SharingRetryOutcome> outcome = waiting->outcome.get_future();
    std::thread([waiting] {
        const SharingRetryTimings slow{milliseconds(60000), milliseconds(60000), milliseconds(600000)};
        const auto step = [&] {
            if (waiting->calls++ == 0) {
                waiting->firstTry.set_value();
            }
            return SharingViolationError;
        };
        waiting->outcome.set_value(retryWhileShared(step, slow, waiting->stop.get_token()));
    }).detach();
    ASSERT_EQ(firstTry.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // Long enough after the first try for the helper to be waiting, not yet deciding whether to wait.
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_EQ(outcome.wait_for(milliseconds(0)), std::future_status::timeout) << "gave up without waiting";
    waiting->stop.request_stop();
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the stop did not end the wait between two tries";
    const SharingRetryOutcome interrupted = outcome.get();
    EXPECT_EQ(interrupted.error, SharingViolationError);
    EXPECT_EQ(interrupted.retries, 0u);
    EXPECT_EQ(waiting->calls.load(), 1);
}

TEST(SharingRetry, TheShippedScheduleWaitsOutAScannerForTenSeconds) {
    const SharingRetryTimings shipped;
    EXPECT_EQ(shipped.firstDelay, milliseconds(100));
    EXPECT_EQ(shipped.longestDelay, milliseconds(1000));
    EXPECT_EQ(shipped.limit, milliseconds(10000));
}

} // namespace
} // namespace ardenwick
