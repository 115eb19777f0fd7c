#include "installation/install_location.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/staged_update.h"
#include "support/test_files.h"
#include "support/test_profile.h"
#include "support/verification_hold.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>

namespace ardenwick {
namespace {

using testing::fileText;
using testing::writeFile;

// The real Ardenwick-Setup.exe started by the stand-in launcher for a maintenance run, as on a user's PC.
class MaintenanceEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = std::filesystem::temp_directory_path() / L"ardenwick-e2e-maintenance";
        const std::error_code error = testing::removeTreeWhenFree(base_);
        ASSERT_FALSE(error) << error.message();
        root_ = base_ / L"Ardenwick";
        log_ = base_ / L"stand-ins.log";
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LOG", log_.c_str());
        const auto bin = testing::executableDirectory();
        ASSERT_EQ(testing::runAndWait(bin / L"Ardenwick-FullSetup.exe", L"/S", 60000), 0U);
        installer_ = base_ / L"update" / L"Ardenwick-FullSetup.exe";
        std::filesystem::create_directories(installer_.parent_path());
        std::filesystem::copy_file(bin.parent_path() / L"served" / L"Ardenwick-FullSetup.exe", installer_);
        writeFile(root_ / L"state" / L"launcher-maintenance.json",
                  testing::stageStandInUpdate(root_, 8192).dump());
    }

    void TearDown() override {
        testing::stopStandInApplication(root_);
        for (const wchar_t* name : {L"ARDENWICK_STANDIN_ROOT", L"ARDENWICK_STANDIN_LOG",
                                    L"ARDENWICK_STANDIN_MAINTENANCE", L"ARDENWICK_STANDIN_SELF_COPY"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }

    /// Runs the launcher's maintenance start of `program` and returns the exit code of the program it
    /// started. The program is opened as soon as the launcher names it, so its exit code is never lost;
    /// `whileRunning` is called then.
    std::optional<std::uint32_t> runMaintenance(const wchar_t* scenario,
                                                const wchar_t* program = L"Ardenwick-Setup.exe",
                                                const std::function<void()>& whileRunning = {}) {
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_MAINTENANCE", scenario);
        const std::size_t logStart = fileText(log_).size();
        const auto setup = testing::executableDirectory() / program;
        const std::filesystem::path launcherPath = root_ / L"Ardenwick.exe";
        std::wstring commandLine = testing::quoteArgument(launcherPath.wstring()) +
                                   L" --stand-in-maintenance " + testing::quoteArgument(setup.wstring()) +
                                   L" " + testing::quoteArgument(installer_.wstring());
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION launcher{};
        if (!CreateProcessW(launcherPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &launcher)) {
            ADD_FAILURE() << "cannot start the launcher";
            return std::nullopt;
        }
        CloseHandle(launcher.hThread);
        HANDLE started = nullptr;
        const std::regex startedLine("setup-pid=([0-9]+)");
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (!started && GetTickCount64() < deadline) {
            const std::string log = fileText(log_).substr(std::min(logStart, fileText(log_).size()));
            std::smatch match;
            if (std::regex_search(log, match, startedLine)) {
                started =
                    OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, std::stoul(match[1]));
                break;
            }
            Sleep(10);
        }
        if (started && whileRunning) {
            whileRunning();
        }
        WaitForSingleObject(launcher.hProcess, 90000);
        CloseHandle(launcher.hProcess);
        if (!started) {
            ADD_FAILURE() << "the launcher did not start the program";
            return std::nullopt;
        }
        std::optional<std::uint32_t> code;
        if (WaitForSingleObject(started, 90000) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(started, &exitCode);
            code = exitCode;
        }
        CloseHandle(started);
        return code;
    }

    std::filesystem::path base_;
    std::filesystem::path root_;
    std::filesystem::path log_;
    std::filesystem::path installer_;
    testing::ScopedRegistryValue installLocation_{testing::productKey(InstallRegistryKey),
                                                  InstallLocationValue};
};

TEST_F(MaintenanceEndToEnd, GoInstallsTheUpdateAndRelaunchesTheApplication) {
    EXPECT_EQ(runMaintenance(L"go"), 0U);
    const std::string log = fileText(log_);
    EXPECT_NE(log.find("/ardenwickLauncherMaintenance=1"), std::string::npos) << log;
    EXPECT_NE(log.find("launcher --ardenwick-installation-startup"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(root_ / L"state" / L"maintenance-ui" / L"last-failure.json"));
}

// Held right after the signature check of the maintenance installer (the test build
// Ardenwick-Setup-held.exe), the file the launcher downloaded cannot be written, renamed or deleted by
// another process; released, the installer that runs is that very file.
TEST_F(MaintenanceEndToEnd, NobodyCanChangeTheVerifiedInstallerBeforeItRuns) {
    const auto ran = base_ / L"installer-that-ran.exe";
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_SELF_COPY", ran.c_str());
    const std::string verified = fileText(installer_);
    ASSERT_FALSE(verified.empty());
    testing::VerificationHold hold(installer_.filename().wstring());
    const auto whileHeld = [&] {
        ASSERT_TRUE(hold.held(60000)) << "the maintenance run never reached its signature check";
        const testing::ChangeAttempts changes = testing::tryToChange(installer_);
        EXPECT_EQ(changes.write, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "opened for writing";
        EXPECT_EQ(changes.rename, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "renamed";
        EXPECT_EQ(changes.remove, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "deleted";
        hold.release();
    };
    EXPECT_EQ(runMaintenance(L"go", L"Ardenwick-Setup-held.exe", whileHeld), 0U);
    EXPECT_NE(fileText(log_).find("/ardenwickLauncherMaintenance=1"), std::string::npos) << fileText(log_);
    EXPECT_EQ(fileText(ran), verified) << "the installer that ran is not the file that was verified";
}

TEST_F(MaintenanceEndToEnd, CancelOrALauncherGoneBeforeGoClosesTheWindowWithoutInstalling) {
    EXPECT_EQ(runMaintenance(L"cancel"), 1U);
    EXPECT_EQ(runMaintenance(L"exit-before-go"), 1U);
    EXPECT_EQ(fileText(log_).find("/ardenwickLauncherMaintenance=1"), std::string::npos);
}

} // namespace
} // namespace ardenwick
