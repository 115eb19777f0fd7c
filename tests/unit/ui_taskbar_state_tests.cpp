#include "ui/taskbar_state.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

InstallationStatus downloading(std::uint64_t done, std::uint64_t total) {
    InstallationStatus status = statusOf(InstallationKind::Downloading);
    status.doneBytes = done;
    status.totalBytes = total;
    return status;
}

TEST(TaskbarState, FollowsEveryStatusKindAndGoesWhenTheWindowHides) {
    constexpr TaskbarProgress none{};
    constexpr TaskbarProgress pulse{TaskbarState::Indeterminate, 0};
    constexpr TaskbarProgress failed{TaskbarState::Error, 100};
    const struct {
        InstallationStatus status;
        TaskbarProgress expected;
    } cases[] = {
        {statusOf(InstallationKind::Preparing), pulse},
        {downloading(0, 0), pulse}, // no length yet: the window shows a marquee too
        {downloading(0, 200), {TaskbarState::Normal, 0}},
        {downloading(50, 200), {TaskbarState::Normal, 25}},
        {downloading(1, 3), {TaskbarState::Normal, 33}},
        {downloading(300, 200), {TaskbarState::Normal, 100}},
        {statusOf(InstallationKind::Verifying), pulse},
        {statusOf(InstallationKind::Installing), pulse},
        {statusOf(InstallationKind::Launching), pulse},
        {statusOf(InstallationKind::Ready), none},
        {statusOf(InstallationKind::InstallationFailed, "download_failed"), failed},
        {statusOf(InstallationKind::InstallationFailed, "unsupported_architecture"), failed},
        {statusOf(InstallationKind::InstallationCancelled), failed},
        {statusOf(InstallationKind::ResultUnknown, "nsis_result_unknown"), failed},
        {statusOf(InstallationKind::AlreadyInstalled), none},
        {statusOf(InstallationKind::LaunchFailed), none},
        {statusOf(InstallationKind::UpdateFailed), failed},
        {statusOf(static_cast<InstallationKind>(12)), pulse},
        {statusOf(static_cast<InstallationKind>(-1)), pulse},
    };
    for (const auto& [status, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(status.kind) << " " << status.operation
                                        << " " << status.doneBytes << "/" << status.totalBytes);
        const TaskbarProgress shown = taskbarProgressFor(status, true);
        EXPECT_EQ(static_cast<int>(shown.state), static_cast<int>(expected.state));
        EXPECT_EQ(shown.percent, expected.percent);
        // A hidden window has no taskbar button to colour.
        EXPECT_EQ(taskbarProgressFor(status, false), none);
    }
}

} // namespace
} // namespace ardenwick
