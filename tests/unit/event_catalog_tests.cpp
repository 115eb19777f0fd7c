#include "telemetry/event_catalog.h"
#include "telemetry/install_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ardenwick {
namespace {

MetricsEvent eventWith(std::string name, EventProperties properties) {
    MetricsEvent event;
    event.name = std::move(name);
    event.properties = std::move(properties);
    return event;
}

TEST(EventCatalog, InstallerEventsCarryLifecyclePropertiesAndTheContextKeys) {
    for (const char* name :
         {"bootstrapper_started", "bootstrapper_preparation_result", "installer_retry",
          "installer_download_started", "installer_download_retry", "installer_download_result",
          "installer_verification_started", "installer_verification_result", "installer_process_requested",
          "installer_process_started", "installer_process_result", "bootstrapper_launch_started",
          "bootstrapper_launch_result"}) {
        const auto* permitted = EventCatalog::instance().propertiesOf(name);
        ASSERT_NE(permitted, nullptr) << name;
        EXPECT_EQ(permitted->size(), 33u) << name;
        EXPECT_TRUE(isLifecycleEvent(name)) << name;
    }
    EXPECT_EQ(EventCatalog::instance().propertiesOf("bootstrapper_unknown"), nullptr);
    EXPECT_FALSE(isLifecycleEvent("user_registered"));
    EXPECT_TRUE(isLifecycleEvent("app_launch_anything"));
    EXPECT_TRUE(isLifecycleEvent("user_signed_in"));
}

TEST(SanitizeEvent, KeepsPermittedWellTypedPropertiesOnly) {
    auto event = eventWith("installer_download_result", {{"result", std::string("success")},
                                                         {"not_in_catalogue", std::string("x")},
                                                         {"retry_number", std::string("3")},
                                                         {"retryable", std::int64_t{1}},
                                                         {"error_code", std::int64_t{5}},
                                                         {"duration_ms", std::int64_t{12}},
                                                         {"win32_error", true},
                                                         {"http_status", std::int64_t{503}},
                                                         {"operation", 1.5},
                                                         {"launch_trigger", std::string("installer")},
                                                         {"cpu_arch", std::string("x64")},
                                                         {"installation_id", std::string("abc")},
                                                         {"web_utm_source", std::string("news")},
                                                         {"web_distinct_id", std::string("has.dot")},
                                                         {"is_new_installation", true},
                                                         {"rename_retries", std::int64_t{4}},
                                                         {"lock_retries", std::string("2")},
                                                         {"start_retries", std::int64_t{1}},
                                                         {"earlier_installer_wait_ms", std::int64_t{5300}}});
    ASSERT_TRUE(sanitizeEvent(event));
    EventProperties expected{{"result", std::string("success")},
                             {"duration_ms", std::int64_t{12}},
                             {"rename_retries", std::int64_t{4}},
                             {"start_retries", std::int64_t{1}},
                             {"earlier_installer_wait_ms", std::int64_t{5300}},
                             {"http_status", std::int64_t{503}},
                             {"launch_trigger", std::string("installer")},
                             {"cpu_arch", std::string("x64")},
                             {"installation_id", std::string("abc")},
                             {"web_utm_source", std::string("news")}};
    EXPECT_EQ(event.properties, expected);

    auto untracked = eventWith("made_up_event", {{"result", std::string("x")}});
    EXPECT_FALSE(sanitizeEvent(untracked));
}

TEST(SanitizeEvent, RemovesNonFiniteDoublesAndAppliesTheValueRules) {
    // "result" must be a string on a lifecycle event, so a double never survives there; the application
    // event "user_registered" keeps values and still loses NaN.
    auto lifecycle = eventWith("bootstrapper_started", {{"result", std::nan("")},
                                                        {"launch_trigger", std::string("sideways")},
                                                        {"cpu_arch", std::string("mips")},
                                                        {"schema_version", std::int64_t{1}}});
    ASSERT_TRUE(sanitizeEvent(lifecycle));
    EXPECT_EQ(lifecycle.properties, (EventProperties{{"schema_version", std::int64_t{1}}}));

    auto application =
        eventWith("user_registered", {{"status", std::numeric_limits<double>::quiet_NaN()},
                                      {"failure_reason", std::numeric_limits<double>::infinity()},
                                      {"auth_method", 2.5},
                                      {"cpu_arch", std::string("x64")}});
    ASSERT_TRUE(sanitizeEvent(application));
    EXPECT_EQ(application.properties, (EventProperties{{"auth_method", 2.5}}));

    auto firstLaunch = eventWith("app_first_launch", {{"is_new_installation", true}});
    ASSERT_TRUE(sanitizeEvent(firstLaunch));
    EXPECT_EQ(firstLaunch.properties.size(), 1u);
    auto notFirst = eventWith("app_ready", {{"is_new_installation", true}});
    ASSERT_TRUE(sanitizeEvent(notFirst));
    EXPECT_TRUE(notFirst.properties.empty());
}

TEST(IsValidPropertyValue, FollowsTheNamedRules) {
    for (const char* trigger : {"installer", "user", "startup", "update", "unknown"}) {
        EXPECT_TRUE(isValidPropertyValue("launch_trigger", std::string(trigger)));
    }
    EXPECT_FALSE(isValidPropertyValue("launch_trigger", std::string("Installer")));
    for (const char* arch : {"x86", "x64", "arm64", "unknown"}) {
        EXPECT_TRUE(isValidPropertyValue("cpu_arch", std::string(arch)));
    }
    EXPECT_FALSE(isValidPropertyValue("cpu_arch", std::string("amd64")));
    EXPECT_TRUE(isValidPropertyValue("is_new_installation", false));
    EXPECT_FALSE(isValidPropertyValue("is_new_installation", std::string("true")));
    EXPECT_TRUE(isValidPropertyValue("exit_code", std::int64_t{-1}));
    EXPECT_FALSE(isValidPropertyValue("exit_code", 1.0));
    EXPECT_TRUE(isValidPropertyValue("retryable", true));
    EXPECT_TRUE(isValidPropertyValue("error_code", std::string("http_read")));
    EXPECT_FALSE(isValidPropertyValue("error_code", std::int64_t{12002}));
    EXPECT_FALSE(isValidPropertyValue("stage", std::vector<std::string>{"a"}));
    EXPECT_FALSE(isValidPropertyValue("web_utm_term", std::string(201, 'a')));
    EXPECT_TRUE(isValidPropertyValue("web_utm_term", std::string(200, 'a')));
}

TEST(InstallContext, TakesValidatedIdentifiersTriggerAndAttributionWhenTheProcessMatches) {
    const std::string json =
        R"({"schemaVersion":1,"launcherPid":4242,"app_run_id":"Job\\Run-1","install_flow_id":"F.1_a",)"
        R"("attempt_id":"bad id","launch_trigger":"update","web_utm_source":"news","web_distinct_id":"x.y",)"
        R"("web_utm_medium":"email"})";
    const auto context = parseInstallContext(json, std::string("4242"), std::string("Job\\Run-1"));
    EventProperties expected{{"app_run_id", std::string("Job\\Run-1")},
                             {"install_flow_id", std::string("F.1_a")},
                             {"launch_trigger", std::string("update")},
                             {"web_utm_source", std::string("news")},
                             {"web_utm_medium", std::string("email")}};
    EXPECT_EQ(context, expected);
}

TEST(InstallContext, IsEmptyUnlessSchemaPidAndRunIdMatch) {
    const std::optional<std::string> pid("7");
    const std::optional<std::string> job("job");
    const std::string base = R"("app_run_id":"job","attempt_id":"A")";
    EXPECT_FALSE(
        parseInstallContext(R"({"schemaVersion":1,"launcherPid":7,)" + base + "}", pid, job).empty());
    EXPECT_FALSE(
        parseInstallContext(R"({"schemaVersion":1.0,"launcherPid":7.9,)" + base + "}", pid, job).empty());
    EXPECT_FALSE(
        parseInstallContext(R"({"schemaVersion":1,"launcherPid":true,)" + base + "}", std::string("1"), job)
            .empty());
    EXPECT_TRUE(parseInstallContext(R"({"schemaVersion":1,"launcherPid":8,)" + base + "}", pid, job).empty());
    EXPECT_TRUE(
        parseInstallContext(R"({"schemaVersion":1,"launcherPid":"7",)" + base + "}", pid, job).empty());
    EXPECT_TRUE(parseInstallContext(R"({"schemaVersion":2,"launcherPid":7,)" + base + "}", pid, job).empty());
    EXPECT_TRUE(
        parseInstallContext(R"({"schemaVersion":"1","launcherPid":7,)" + base + "}", pid, job).empty());
    EXPECT_TRUE(
        parseInstallContext(R"({"schemaVersion":1,"launcherPid":7,)" + base + "}", std::string("07"), job)
            .empty());
    EXPECT_TRUE(
        parseInstallContext(R"({"schemaVersion":1,"launcherPid":7,)" + base + "}", pid, std::string("other"))
            .empty());
    EXPECT_TRUE(
        parseInstallContext(R"({"schemaVersion":1,"launcherPid":7,"app_run_id":""})", pid, std::string(""))
            .empty());
    EXPECT_TRUE(parseInstallContext(R"({"schemaVersion":1,"launcherPid":7,)" + base + "}", std::nullopt, job)
                    .empty());
    EXPECT_TRUE(parseInstallContext("[1]", pid, job).empty());
    EXPECT_TRUE(parseInstallContext("{not json", pid, job).empty());
}

TEST(InstallContext, AnUnknownOrMissingTriggerBecomesUnknownAndIdentifiersAreBounded) {
    const std::optional<std::string> pid("7");
    const std::optional<std::string> job("job");
    auto context = parseInstallContext(
        R"({"schemaVersion":1,"launcherPid":7,"app_run_id":"job","launch_trigger":"sideways","attempt_id":")" +
            std::string(129, 'a') + R"(","install_flow_id":")" + std::string(128, 'b') + "\"}",
        pid, job);
    EXPECT_EQ(context["launch_trigger"], PropertyValue(std::string("unknown")));
    EXPECT_FALSE(context.contains("attempt_id"));
    EXPECT_EQ(context["install_flow_id"], PropertyValue(std::string(128, 'b')));

    context = parseInstallContext(
        R"({"schemaVersion":1,"launcherPid":7,"app_run_id":"job","launch_trigger":5})", pid, job);
    EXPECT_TRUE(context.empty()) << "a trigger that is not text is a type error";
}

} // namespace
} // namespace ardenwick
