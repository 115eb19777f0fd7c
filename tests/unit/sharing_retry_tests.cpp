#include "common/sharing_retry.h"

#include <gtest/gtest.h>

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

    // A stop requested before the first wait: one try, no retry.
    std::stop_source stopped;
    stopped.request_stop();
    calls = 0;
    const SharingRetryOutcome atOnce = retryWhileShared(alwaysShared, QuickTimings, stopped.get_token());
    EXPECT_EQ(atOnce.error, SharingViolationError);
    EXPECT_EQ(calls, 1u);

    // A stop during a long wait ends it: the step is not tried after the stop.
    std::stop_source later;
    calls = 0;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(milliseconds(50));
        later.request_stop();
    });
    const SharingRetryTimings slow{milliseconds(60000), milliseconds(60000), milliseconds(600000)};
    const SharingRetryOutcome interrupted = retryWhileShared(alwaysShared, slow, later.get_token());
    EXPECT_EQ(interrupted.error, SharingViolationError);
    EXPECT_EQ(interrupted.retries, 0u);
    EXPECT_EQ(calls, 1u);
}

} // namespace
} // namespace ardenwick
