// Version resources of real fixture programs, built with windres and signed after linking.
#include <windows.h>

#include "common/installation_diagnostic_error.h"
#include "download/installer_metadata.h"
#include "download/version_resource.h"
#include "support/process_runner.h"
#include "support/verification_fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace ardenwick {
namespace {

using testing::fixturePath;
using testing::messageOf;

std::string readMessage(const wchar_t* fixture, const wchar_t* key) {
    return messageOf([&] { static_cast<void>(readVersionString(fixturePath(fixture), key)); });
}

TEST(VersionString, ReadsTheUsEnglishTable) {
    const auto good = fixturePath(L"good.exe");
    EXPECT_EQ(readVersionString(good, L"ProductName"), L"Ardenwick");
    EXPECT_EQ(readVersionString(good, L"ProductVersion"), L"1.2.3");
    EXPECT_EQ(readVersionString(good, L"ArdenwickLauncherVersion"), L"1.2.0");
    EXPECT_EQ(readVersionString(good, L"ArdenwickLauncherEnvironment"), L"prod");
    EXPECT_EQ(readVersionString(good, L"CompanyName"), L"Ardenwick Test");
    EXPECT_EQ(readMessage(L"good.exe", L"FileDescription"), "installer_metadata_missing");
    // Signing after linking leaves the resource readable; so does the unsigned original.
    EXPECT_EQ(readVersionString(fixturePath(L"unsigned/good.exe"), L"ProductVersion"), L"1.2.3");
}

TEST(VersionString, OnlyUsEnglishEntriesCount) {
    for (const wchar_t* key : {L"ProductName", L"ProductVersion", L"ArdenwickLauncherVersion"}) {
        EXPECT_EQ(readMessage(L"german_only.exe", key), "installer_metadata_missing");
    }
    // German 9.9.9 first, then an English table without the keys (ProductName only its terminating
    // null), then the English table that has them.
    const auto tables = fixturePath(L"two_english_tables.exe");
    EXPECT_EQ(readVersionString(tables, L"ProductVersion"), L"2.3.4");
    EXPECT_EQ(readVersionString(tables, L"ProductName"), L"Ardenwick");
    EXPECT_EQ(readVersionString(tables, L"CompanyName"), L"Ardenwick Test");
}

TEST(VersionString, MissingResourceAndTranslation) {
    EXPECT_EQ(readMessage(L"no_version_resource.exe", L"ProductName"), "installer_metadata_missing");
    EXPECT_EQ(readMessage(L"does_not_exist.exe", L"ProductName"), "installer_metadata_missing");
    EXPECT_EQ(readMessage(L"no_translation.exe", L"ProductName"), "installer_metadata_translation");
    EXPECT_EQ(readMessage(L"empty_product_name.exe", L"ProductName"), "installer_metadata_missing");
}

TEST(VersionString, FixedFileVersion) {
    const auto good = readFixedFileVersion(fixturePath(L"good.exe"));
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(good->mostSignificant, 0x00010002U);
    EXPECT_EQ(good->leastSignificant, 0x00030000U);
    const auto patched = readFixedFileVersion(fixturePath(L"file_version_1_2_3_1.exe"));
    ASSERT_TRUE(patched.has_value());
    EXPECT_EQ(patched->leastSignificant, 0x00030001U);
    EXPECT_FALSE(readFixedFileVersion(fixturePath(L"no_version_resource.exe")).has_value());
}

struct MetadataOutcome {
    std::string error;
    bool diagnostic = false;
    InstallerVersions versions;
};

// The fixtures declare versions far below any build's floor; the floor has tests of its own.
MetadataOutcome checkFile(const std::filesystem::path& path, std::string_view floor) {
    MetadataOutcome outcome;
    try {
        checkInstallerMetadata(path, outcome.versions, floor);
    } catch (const InstallationDiagnosticError& error) {
        outcome.error = error.operation;
        outcome.diagnostic = true;
        EXPECT_FALSE(error.win32Error.has_value()) << error.what();
        EXPECT_FALSE(error.httpStatus.has_value()) << error.what();
    } catch (const std::exception& error) {
        outcome.error = error.what();
    }
    return outcome;
}

MetadataOutcome checkFixture(const wchar_t* name, std::string_view floor = "0.0.0") {
    return checkFile(fixturePath(name), floor);
}

TEST(InstallerMetadata, AcceptsTheProductionInstaller) {
    const MetadataOutcome good = checkFixture(L"good.exe");
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(good.versions.productVersion, "1.2.3");
    EXPECT_EQ(good.versions.launcherVersion, "1.2.0");
    const MetadataOutcome tables = checkFixture(L"two_english_tables.exe");
    EXPECT_EQ(tables.error, "");
    EXPECT_EQ(tables.versions.productVersion, "2.3.4");
    EXPECT_EQ(tables.versions.launcherVersion, "2.3.0");
}

TEST(InstallerMetadata, MismatchesKeepTheVersionsThatWereRead) {
    struct Case {
        const wchar_t* fixture;
        const char* productVersion;
        const char* launcherVersion;
    };
    for (const Case& c :
         {Case{L"wrong_product_name.exe", "1.2.3", "1.2.0"},
          Case{L"staging_environment.exe", "1.2.3", "1.2.0"}, Case{L"dev_environment.exe", "1.2.3", "1.2.0"},
          Case{L"two_component_version.exe", "1.2", "1.2.0"},
          Case{L"leading_zero_version.exe", "01.2.3", "1.2.0"},
          Case{L"suffixed_version.exe", "1.2.3-beta", "1.2.0"},
          Case{L"four_component_launcher.exe", "1.2.3", "1.2.0.1"}}) {
        const MetadataOutcome outcome = checkFixture(c.fixture);
        EXPECT_EQ(outcome.error, "installer_metadata_mismatch") << testing::fixturePath(c.fixture).string();
        EXPECT_TRUE(outcome.diagnostic);
        EXPECT_EQ(outcome.versions.productVersion, c.productVersion);
        EXPECT_EQ(outcome.versions.launcherVersion, c.launcherVersion);
    }
}

TEST(InstallerMetadata, MissingStringsPropagateTheirCodeWord) {
    const MetadataOutcome german = checkFixture(L"german_only.exe");
    EXPECT_EQ(german.error, "installer_metadata_missing");
    EXPECT_FALSE(german.diagnostic);
    EXPECT_EQ(german.versions.productVersion, "");
    // The versions pass, then the product name is only a terminating null.
    const MetadataOutcome emptyName = checkFixture(L"empty_product_name.exe");
    EXPECT_EQ(emptyName.error, "installer_metadata_missing");
    EXPECT_FALSE(emptyName.diagnostic);
    EXPECT_EQ(emptyName.versions.productVersion, "1.2.3");
    EXPECT_EQ(checkFixture(L"no_translation.exe").error, "installer_metadata_translation");
    EXPECT_EQ(checkFixture(L"no_version_resource.exe").error, "installer_metadata_missing");
}

// good.exe declares ProductVersion 1.2.3. Floors that compare the other way as text than as numbers
// show that the order is numeric.
TEST(InstallerMetadata, RefusesAProductVersionBelowTheFloor) {
    for (const char* floor : {"1.2.3", "1.2.2", "1.1.10", "0.10.0", "0.0.0"}) {
        EXPECT_EQ(checkFixture(L"good.exe", floor).error, "") << floor;
    }
    for (const char* floor : {"1.2.4", "1.2.10", "1.10.0", "2.0.0", "10.0.0"}) {
        const MetadataOutcome outcome = checkFixture(L"good.exe", floor);
        EXPECT_EQ(outcome.error, "installer_metadata_mismatch") << floor;
        EXPECT_TRUE(outcome.diagnostic) << floor;
        EXPECT_EQ(outcome.versions.productVersion, "1.2.3") << floor;
        EXPECT_EQ(outcome.versions.launcherVersion, "1.2.0") << floor;
    }
}

// Without a floor named, the build's own applies: in test builds the stand-in installer's version, so the
// stand-in that the release server offers passes and its older release (2.3.9) does not.
TEST(InstallerMetadata, TheBuildsFloorRefusesTheOlderStandInRelease) {
    const auto served = testing::executableDirectory().parent_path() / L"served";
    InstallerVersions versions;
    EXPECT_NO_THROW(checkInstallerMetadata(served / L"Ardenwick-FullSetup.exe", versions));
    EXPECT_EQ(versions.productVersion, "2.4.0");
    EXPECT_EQ(versions.productVersion, MinimumInstallerVersion);
    try {
        checkInstallerMetadata(served / L"older.exe", versions);
        ADD_FAILURE() << "the older release was accepted";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "installer_metadata_mismatch");
    }
    EXPECT_EQ(versions.productVersion, "2.3.9");
}

} // namespace
} // namespace ardenwick
