#include "common/user_state.h"
#include "installation/install_location.h"
#include "installation/installer_process.h"
#include "installation/installer_records_file.h"
#include "installation/result_record_file.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/test_profile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

namespace ardenwick {
namespace {

// Runs the stand-in full installer the way an attempt does and checks what it leaves behind, so the
// workflow tests can rely on it.
class StandInInstaller : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = std::filesystem::temp_directory_path() / L"ardenwick-standin";
        std::filesystem::remove_all(base_);
        attemptDirectory_ = base_ / L"attempt";
        root_ = base_ / L"Programs" / L"Ardenwick";
        std::filesystem::create_directories(attemptDirectory_);
        std::filesystem::copy_file(testing::executableDirectory() / L"Ardenwick-FullSetup.exe",
                                   attemptDirectory_ / L"setup.exe");
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", nullptr);
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", nullptr);
    }

    std::uint32_t runScenario(const wchar_t* scenario) {
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", scenario);
        const auto record = attemptDirectory_ / L"result.ini";
        writeInstallerRecords(record, {"FLOW", "ATTEMPT-1", "ANON", {}});
        const auto installer = attemptDirectory_ / L"setup.exe";
        return runInstallerProcess(installer, installerCommandLine(installer.wstring(), record.wstring()),
                                   {});
    }

    std::filesystem::path base_;
    std::filesystem::path attemptDirectory_;
    std::filesystem::path root_;
    testing::ScopedRegistryValue installLocation_{testing::productKey(InstallRegistryKey),
                                                  InstallLocationValue};
};

TEST_F(StandInInstaller, SuccessInstallsTheTreeAndWritesAMatchingRecord) {
    installLocation_.remove();
    EXPECT_EQ(runScenario(L"success"), 0U);
    EXPECT_EQ(readInstallLocation(), root_ / L"Ardenwick.exe");
    EXPECT_TRUE(std::filesystem::is_regular_file(root_ / L"Ardenwick.exe"));
    EXPECT_TRUE(std::filesystem::is_regular_file(root_ / L"versions" / L"2.4.0" / L"app" / L"Ardenwick.exe"));
    EXPECT_TRUE(std::filesystem::is_regular_file(root_ / L"state" / L"activation.json"));
    const auto record = readResultRecord(attemptDirectory_ / L"result.ini");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->schemaVersion, "1");
    EXPECT_EQ(record->attemptId, "ATTEMPT-1");
    EXPECT_EQ(record->result, "success");
    EXPECT_EQ(record->version, "2.4.0");
    EXPECT_TRUE(isSameDirectory(std::filesystem::path(record->directory), root_));
}

// Without a root of the test's, the stand-in installs where a per-user installer does, LocalAppData\Programs,
// which in a test build is the profile's; without a profile it installs nothing anywhere.
TEST_F(StandInInstaller, TheDefaultRootIsTheProfilesLocalProgramsFolder) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", nullptr);
    {
        const testing::TestProfile profile(L"standin");
        const auto programs = profile.localAppData() / L"Programs" / L"Ardenwick";
        EXPECT_EQ(runScenario(L"success"), 0U);
        EXPECT_TRUE(std::filesystem::is_regular_file(programs / L"Ardenwick.exe"));
        EXPECT_EQ(readInstallLocation(), programs / L"Ardenwick.exe");
        EXPECT_TRUE(isSameDirectory(
            std::filesystem::path(readResultRecord(attemptDirectory_ / L"result.ini")->directory), programs));
        std::error_code ignored;
        std::filesystem::remove_all(programs, ignored);
    }
    const auto programProfile = testing::productLocalAppData();
    const auto root = programProfile.parent_path().parent_path();
    SetEnvironmentVariableW(TestProfileVariable, nullptr);
    EXPECT_EQ(runScenario(L"success"), 2U);
    SetEnvironmentVariableW(TestProfileVariable, root.c_str());
    EXPECT_FALSE(std::filesystem::exists(programProfile / L"Programs"));
    EXPECT_TRUE(readInstallLocation().empty());
}

TEST_F(StandInInstaller, ScenariosProduceEachDocumentedOutcome) {
    EXPECT_EQ(runScenario(L"failure"), 1U);
    EXPECT_EQ(readResultRecord(attemptDirectory_ / L"result.ini")->result, "failure");
    EXPECT_FALSE(std::filesystem::exists(root_));

    std::filesystem::remove(attemptDirectory_ / L"result.ini");
    EXPECT_EQ(runScenario(L"no-record"), 0U);
    // The record is there from the start, empty: it holds no result.
    const auto empty = readResultRecord(attemptDirectory_ / L"result.ini");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->result, "");
    EXPECT_EQ(empty->schemaVersion, "");
    EXPECT_TRUE(std::filesystem::exists(root_ / L"Ardenwick.exe"));

    EXPECT_EQ(runScenario(L"wrong-attempt"), 0U);
    EXPECT_NE(readResultRecord(attemptDirectory_ / L"result.ini")->attemptId, "ATTEMPT-1");

    EXPECT_EQ(runScenario(L"nonzero-success"), 3U);
    EXPECT_EQ(readResultRecord(attemptDirectory_ / L"result.ini")->result, "success");
}

TEST_F(StandInInstaller, AChildThatOutlivesTheInstallerIsWaitedFor) {
    EXPECT_EQ(runScenario(L"child-outlives"), 0U);
    EXPECT_TRUE(std::filesystem::exists(root_ / L"child-finished.txt"));
}

} // namespace
} // namespace ardenwick
