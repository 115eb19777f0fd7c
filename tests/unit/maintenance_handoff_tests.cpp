#include "maintenance/maintenance_handoff.h"
#include "maintenance/update_feed.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace ardenwick {
namespace {

nlohmann::json handoff() {
    nlohmann::json release = {
        {"releaseChannel", "stable"},
        {"version", "2.4.0"},
        {"minimumLauncherVersion", "1.0.0"},
        {"publishedAtUtc", "2026-12-01T12:00:00Z"},
        {"payload",
         {{"url", "https://downloads.ardenwick.app/windows/x64/2.4.0/Ardenwick-2.4.0-windows-x64.zip"},
          {"size", 4096},
          {"sha256", std::string(64, 'a')}}}};
    return {{"schemaVersion", 2}, {"environment", "dev"}, {"architecture", "x64"}, {"releases", {release}}};
}

TEST(MaintenanceHandoff, OneReleaseForItsOwnEnvironment) {
    const MaintenanceHandoff parsed = parseMaintenanceHandoff("\xEF\xBB\xBF" + handoff().dump());
    EXPECT_EQ(parsed.environment, "dev") << "the feed is checked against the hand-off's own environment";
    EXPECT_TRUE(parsed.relaunch);
    EXPECT_EQ(parsed.release.version, "2.4.0");
    EXPECT_EQ(parsed.release.size, 4096U);

    auto noRelaunch = handoff();
    noRelaunch["relaunch"] = false;
    EXPECT_FALSE(parseMaintenanceHandoff(noRelaunch.dump()).relaunch);

    auto textRelaunch = handoff();
    textRelaunch["relaunch"] = "false";
    EXPECT_THROW((void)parseMaintenanceHandoff(textRelaunch.dump()), nlohmann::json::type_error);
    auto arm = handoff();
    arm["architecture"] = "arm64";
    EXPECT_THROW((void)parseMaintenanceHandoff(arm.dump()), std::runtime_error);
    auto noEnvironment = handoff();
    noEnvironment.erase("environment");
    EXPECT_THROW((void)parseMaintenanceHandoff(noEnvironment.dump()), nlohmann::json::out_of_range);
    EXPECT_THROW((void)parseMaintenanceHandoff(handoff().dump().substr(0, 40)), nlohmann::json::parse_error);
    EXPECT_THROW((void)parseMaintenanceHandoff("[]"), std::runtime_error);
}

std::string failureOf(const nlohmann::json& document) {
    try {
        (void)parseMaintenanceHandoff(document.dump());
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no failure";
}

TEST(MaintenanceHandoff, ExactlyOneReleaseOfAValidFeed) {
    // Two distinct releases make a valid update feed, so only the hand-off's own rule can refuse them.
    auto two = handoff();
    auto second = two["releases"][0];
    second["version"] = "2.4.1";
    second["payload"]["url"] =
        "https://downloads.ardenwick.app/windows/x64/2.4.1/Ardenwick-2.4.1-windows-x64.zip";
    two["releases"].push_back(second);
    ASSERT_EQ(parseUpdateFeed(two.dump(), "dev", "x64").releases.size(), 2U);
    EXPECT_EQ(failureOf(two), "maintenance_handoff_invalid");

    auto none = handoff();
    none["releases"] = nlohmann::json::array();
    ASSERT_TRUE(parseUpdateFeed(none.dump(), "dev", "x64").releases.empty());
    EXPECT_EQ(failureOf(none), "maintenance_handoff_invalid");

    auto duplicate = handoff();
    duplicate["releases"].push_back(duplicate["releases"][0]);
    EXPECT_EQ(failureOf(duplicate), "Update feed contains invalid values")
        << "the feed's own rule comes first";
}

TEST(MaintenanceHandoff, InstallerCommandLineEndsWithTheUnquotedRoot) {
    EXPECT_EQ(maintenanceInstallerCommandLine(L"C:\\Up date\\setup.exe",
                                              L"C:\\A B\\state\\maintenance-ui\\X.ini", 12, 4294967295U,
                                              L"C:\\Program Files\\Ardenwick"),
              L"\"C:\\Up date\\setup.exe\" /S /ardenwickBootstrapper=1 /ardenwickLauncherMaintenance=1 "
              L"/ardenwickInstallRecord=\"C:\\A B\\state\\maintenance-ui\\X.ini\" /ardenwickWaitForAppPid=12 "
              L"/ardenwickWaitForLauncherPid=4294967295 /D=C:\\Program Files\\Ardenwick");
}

} // namespace
} // namespace ardenwick
