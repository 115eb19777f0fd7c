// The maintenance installer and versioned-executable checks against signed fixtures. This program is
// signed with test certificate A, like the fixtures that are meant to pass.
#include <windows.h>

#include "common/installation_diagnostic_error.h"
#include "download/versioned_executable.h"
#include "maintenance/maintenance_checks.h"
#include "support/process_runner.h"
#include "support/verification_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace ardenwick {
namespace {

using testing::fixturePath;
using testing::messageOf;

constexpr const char* wrongInstaller = "Maintenance installer has the wrong environment or an older Launcher";

UpdateRelease releaseRequiring(const char* minimumLauncherVersion) {
    UpdateRelease release;
    release.releaseChannel = "stable";
    release.architecture = "x64";
    release.version = "1.2.3";
    release.minimumLauncherVersion = minimumLauncherVersion;
    return release;
}

// The message, or for the trust failure "<operation> <hex code>".
std::string outcomeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const InstallationDiagnosticError& error) {
        char code[16] = {};
        std::snprintf(code, sizeof(code), "%08x", static_cast<unsigned>(error.win32Error.value_or(0)));
        return error.operation + " " + code;
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

// The fixtures declare product versions far below any build's floor; the floor has tests of its own.
std::string installerOutcome(const wchar_t* fixture, const char* minimum, const char* environment = "prod",
                             const char* floor = "0.0.0") {
    const MaintenanceCheckContext context{fixturePath(L"."), environment, floor};
    return outcomeOf(
        [&] { checkMaintenanceInstaller(context, fixturePath(fixture), releaseRequiring(minimum)); });
}

class MaintenanceChecks : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::trustTestRoot(); }
};

TEST_F(MaintenanceChecks, InstallerLauncherVersionAndEnvironment) {
    // good.exe declares launcher 1.2.0 for "prod".
    EXPECT_EQ(installerOutcome(L"good.exe", "1.2.0"), "");
    EXPECT_EQ(installerOutcome(L"good.exe", "1.1.99"), "");
    EXPECT_EQ(installerOutcome(L"good.exe", "0.0.0"), "");
    EXPECT_EQ(installerOutcome(L"good.exe", "1.2.1"), wrongInstaller);
    EXPECT_EQ(installerOutcome(L"good.exe", "1.3.0"), wrongInstaller);
    EXPECT_EQ(installerOutcome(L"good.exe", "2.0.0"), wrongInstaller);
    EXPECT_EQ(installerOutcome(L"good.exe", "1.2"), wrongInstaller);
    EXPECT_EQ(installerOutcome(L"good.exe", "1.2.0", "dev"), wrongInstaller);
    EXPECT_EQ(installerOutcome(L"dev_environment.exe", "1.2.0", "dev"), "");
    EXPECT_EQ(installerOutcome(L"staging_environment.exe", "1.2.0"), wrongInstaller);
    EXPECT_EQ(installerOutcome(L"older_launcher.exe", "1.2.0"), wrongInstaller);
    EXPECT_EQ(installerOutcome(L"older_launcher.exe", "1.1.9"), "");
    // Not a semantic version: the rule's message, not a metadata one.
    EXPECT_EQ(installerOutcome(L"four_component_launcher.exe", "1.0.0"), wrongInstaller);
    // The product checks of a downloaded installer do not apply here.
    EXPECT_EQ(installerOutcome(L"wrong_product_name.exe", "1.2.0"), "");
    EXPECT_EQ(installerOutcome(L"two_english_tables.exe", "2.3.0"), "");
}

TEST_F(MaintenanceChecks, InstallerMetadataMessages) {
    EXPECT_EQ(installerOutcome(L"german_only.exe", "1.0.0"), "Installer maintenance metadata is invalid");
    EXPECT_EQ(installerOutcome(L"no_translation.exe", "1.0.0"),
              "Installer maintenance metadata translation is invalid");
    EXPECT_EQ(installerOutcome(L"no_version_resource.exe", "1.0.0"),
              "Installer maintenance metadata is missing");
}

TEST_F(MaintenanceChecks, InstallerSignatureComesFirst) {
    EXPECT_EQ(installerOutcome(L"good_unsigned.exe", "1.2.0"), "signature_trust 800b0100");
    EXPECT_EQ(installerOutcome(L"good_tampered.exe", "1.2.0"), "signature_trust 80096010");
    EXPECT_EQ(installerOutcome(L"good_B.exe", "1.2.0"), "The artifact signer does not match Ardenwick");
    EXPECT_EQ(installerOutcome(L"good_A2.exe", "1.2.0"), "");
}

// good.exe declares ProductVersion 1.2.3; the order is numeric, not that of the text.
TEST_F(MaintenanceChecks, InstallerBelowTheVersionFloor) {
    for (const char* floor : {"1.2.3", "1.1.10", "0.10.0"}) {
        EXPECT_EQ(installerOutcome(L"good.exe", "1.2.0", "prod", floor), "") << floor;
    }
    for (const char* floor : {"1.2.4", "1.2.10", "1.10.0"}) {
        EXPECT_EQ(installerOutcome(L"good.exe", "1.2.0", "prod", floor), wrongInstaller) << floor;
    }
    // The context's floor is the build's unless named: the test builds' is the stand-in's version, so the
    // served stand-in passes and its older release (2.3.9) does not.
    const auto served = testing::executableDirectory().parent_path() / L"served";
    const MaintenanceCheckContext context{fixturePath(L"."), "prod"};
    EXPECT_EQ(context.minimumInstallerVersion, MinimumInstallerVersion);
    EXPECT_EQ(outcomeOf([&] {
                  checkMaintenanceInstaller(context, served / L"Ardenwick-FullSetup.exe",
                                            releaseRequiring("1.0.0"));
              }),
              "");
    EXPECT_EQ(outcomeOf([&] {
                  checkMaintenanceInstaller(context, served / L"older.exe", releaseRequiring("1.0.0"));
              }),
              wrongInstaller);
}

std::string versionedOutcome(const std::filesystem::path& path, const char* expected) {
    return outcomeOf([&] { verifyVersionedExecutable(path, expected); });
}

TEST_F(MaintenanceChecks, VersionedExecutable) {
    EXPECT_EQ(versionedOutcome(fixturePath(L"good.exe"), "1.2.3"), "");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good.exe"), "01.0002.00003"), "");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good_A2.exe"), "1.2.3"), "");
    EXPECT_EQ(versionedOutcome(fixturePath(L"file_version_1_2_3_1.exe"), "1.2.3"),
              "The installer version does not match the update");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good.exe"), "1.2.4"),
              "The installer version does not match the update");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good.exe"), "2.1.3"),
              "The installer version does not match the update");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good.exe"), "1.2"), "The expected installer version is invalid");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good.exe"), "1.2.65536"),
              "The expected installer version is invalid");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good.exe"), "1.2.3.0"),
              "The expected installer version is invalid");
}

TEST_F(MaintenanceChecks, VersionedExecutablePathRules) {
    EXPECT_EQ(versionedOutcome(fixturePath(L"good_upper_case.EXE"), "1.2.3"),
              "The installer path is invalid");
    EXPECT_EQ(versionedOutcome(fixturePath(L"missing.exe"), "1.2.3"), "The installer path is invalid");
    // A directory with an executable's name.
    const auto directory = std::filesystem::temp_directory_path() /
                           (L"ardenwick-dir-" + std::to_wstring(GetCurrentProcessId()) + L".exe");
    std::filesystem::create_directories(directory);
    EXPECT_EQ(versionedOutcome(directory, "1.2.3"), "The installer path is invalid");
    std::filesystem::remove(directory);
    // The order of the steps: resource, then expected text, then the version, then the signature.
    EXPECT_EQ(versionedOutcome(fixturePath(L"no_version_resource.exe"), "1.2"),
              "The installer version is unavailable");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good_unsigned.exe"), "1.2.4"),
              "The installer version does not match the update");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good_unsigned.exe"), "1.2.3"), "signature_trust 800b0100");
    EXPECT_EQ(versionedOutcome(fixturePath(L"good_B.exe"), "1.2.3"),
              "The artifact signer does not match Ardenwick");
}

} // namespace
} // namespace ardenwick
