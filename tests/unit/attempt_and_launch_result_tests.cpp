#include "installation/attempt_failure.h"
#include "launch/launch_result.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

TEST(AttemptFailure, KindStageAndEventByPhase) {
    EXPECT_EQ(attemptFailureKind("unsupported_architecture", AttemptPhase::Preparation),
              "unsupported_architecture");
    EXPECT_EQ(attemptFailureKind("unsupported_architecture", AttemptPhase::Download),
              "unsupported_architecture");
    EXPECT_EQ(attemptFailureKind("directory_lock", AttemptPhase::Preparation), "installation_failed");
    EXPECT_EQ(attemptFailureKind("http_status", AttemptPhase::Download), "download_failed");
    EXPECT_EQ(attemptFailureKind("verification_stopped", AttemptPhase::Verification), "verification_failed");
    EXPECT_EQ(attemptFailureKind("installer_job_create", AttemptPhase::Process), "installation_failed");
    EXPECT_EQ(attemptFailureKind("Unsupported_architecture", AttemptPhase::Download), "download_failed");

    EXPECT_EQ(attemptStageName(AttemptPhase::Preparation), "preparation");
    EXPECT_EQ(attemptStageName(AttemptPhase::Download), "download");
    EXPECT_EQ(attemptStageName(AttemptPhase::Verification), "verification");
    EXPECT_EQ(attemptStageName(AttemptPhase::Process), "process");
    EXPECT_EQ(attemptResultEventName(AttemptPhase::Preparation), "bootstrapper_preparation_result");
    EXPECT_EQ(attemptResultEventName(AttemptPhase::Download), "installer_download_result");
    EXPECT_EQ(attemptResultEventName(AttemptPhase::Verification), "installer_verification_result");
    EXPECT_EQ(attemptResultEventName(AttemptPhase::Process), "installer_process_result");
}

TEST(LaunchResult, TriggerSwitchAndProperties) {
    EXPECT_EQ(launchTrigger(true, true), "user");
    EXPECT_EQ(launchTrigger(false, true), "update");
    EXPECT_EQ(launchTrigger(false, false), "installer");
    EXPECT_STREQ(launcherSwitch(true, true), L"--ardenwick-installation-retry");
    EXPECT_STREQ(launcherSwitch(false, true), L"--ardenwick-installation-open");
    EXPECT_STREQ(launcherSwitch(false, false), L"--ardenwick-installation-startup");

    // A diagnostic "error_code" is replaced; the exit code is zero-extended, never negative.
    const EventProperties failed = launchResultProperties(
        {{"error_code", std::string("activation_state")}, {"operation", std::string("launch_observation")}},
        "failure", "launcher_exited_before_ready", "installer", 1234, 0xC0000005U);
    const EventProperties expected = {{"duration_ms", std::int64_t{1234}},
                                      {"error_code", std::string("launcher_exited_before_ready")},
                                      {"exit_code", std::int64_t{3221225477}},
                                      {"launch_trigger", std::string("installer")},
                                      {"operation", std::string("launch_observation")},
                                      {"result", std::string("failure")},
                                      {"stage", std::string("launch")}};
    EXPECT_EQ(failed, expected);

    const EventProperties running =
        launchResultProperties({}, "unknown", "launch_ready_timeout", "user", 0, {});
    EXPECT_FALSE(running.contains("exit_code")) << "the launcher was not seen to exit";
    EXPECT_EQ(launchResultProperties({}, "success", "none", "user", 5, 0U).at("exit_code"),
              PropertyValue(std::int64_t{0}));
}

} // namespace
} // namespace ardenwick
