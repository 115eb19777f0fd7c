#include "common/unique_handle.h"
#include "installation/install_location.h"
#include "installation/online_installation_service.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/staged_update.h"
#include "support/test_files.h"
#include "support/test_profile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace ardenwick {
namespace {

using testing::fileText;
using testing::writeFile;

// A maintenance run as the launcher starts it: an installed application, a staged update package, the
// signed update installer and the hand-off file, with the service driven in-process.
class MaintenanceRun : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = std::filesystem::temp_directory_path() / baseName();
        const std::error_code error = testing::removeTreeWhenFree(base_);
        ASSERT_FALSE(error) << error.message();
        root_ = base_ / L"Ardenwick";
        log_ = base_ / L"stand-ins.log";
        std::filesystem::create_directories(base_);
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LOG", log_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"success");
        ASSERT_EQ(
            testing::runAndWait(testing::executableDirectory() / L"Ardenwick-FullSetup.exe", L"/S", 60000),
            0U);
        installer_ = base_ / L"update" / L"Ardenwick-FullSetup.exe";
        std::filesystem::create_directories(installer_.parent_path());
        std::filesystem::copy_file(testing::executableDirectory().parent_path() / L"served" /
                                       L"Ardenwick-FullSetup.exe",
                                   installer_);
        handoff_ = testing::stageStandInUpdate(root_, 4096);
        writeHandoff(handoff());
    }

    void TearDown() override {
        stopApplication();
        for (const wchar_t* name : {L"ARDENWICK_STANDIN_ROOT", L"ARDENWICK_STANDIN_LOG",
                                    L"ARDENWICK_STANDIN_INSTALLER", L"ARDENWICK_STANDIN_LAUNCHER"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }

    [[nodiscard]] virtual std::wstring baseName() const { return L"ardenwick-maintenance"; }

    const nlohmann::json& handoff() const { return handoff_; }

    void writeHandoff(const nlohmann::json& document,
                      const std::wstring& name = L"launcher-maintenance.json") {
        std::filesystem::remove(root_ / L"state" / L"launcher-maintenance.json");
        writeFile(root_ / L"state" / name, document.dump());
    }

    std::unique_ptr<OnlineInstallationService> makeService(std::uint32_t launcherPid = 0,
                                                           const std::wstring& eventName = L"") {
        ServiceTuning tuning;
        tuning.launchDeadlineMs = 30000;
        tuning.handshakeDeadlineMs = 10000;
        return std::make_unique<OnlineInstallationService>(
            MaintenanceRequest{root_.wstring(), installer_.wstring(), 0, launcherPid, eventName}, tuning);
    }

    static InstallationStatus waitForFinal(OnlineInstallationService& service) {
        const ULONGLONG deadline = GetTickCount64() + 90000;
        InstallationStatus status = service.currentStatus();
        while (status.kind < InstallationKind::Ready && GetTickCount64() < deadline) {
            Sleep(50);
            status = service.currentStatus();
        }
        return status;
    }

    InstallationStatus runWithWindow(OnlineInstallationService& service) {
        service.markWindowReady();
        service.startInstallation();
        return waitForFinal(service);
    }

    void stopApplication() {
        testing::stopStandInApplication(root_);
        Sleep(300); // its launcher ends right after it
    }

    std::filesystem::path base_;
    std::filesystem::path root_;
    std::filesystem::path log_;
    std::filesystem::path installer_;
    nlohmann::json handoff_;
    testing::ScopedRegistryValue installLocation_{testing::productKey(InstallRegistryKey),
                                                  InstallLocationValue};
};

TEST_F(MaintenanceRun, InstallsTheStagedUpdateAndRelaunches) {
    auto service = makeService();
    const InstallationStatus status = runWithWindow(*service);
    EXPECT_EQ(status.kind, InstallationKind::Ready);
    const std::string log = fileText(log_);
    const std::string expectedTail = " /D=" + root_.string();
    const auto installerLine = log.find("/ardenwickLauncherMaintenance=1");
    ASSERT_NE(installerLine, std::string::npos) << log;
    EXPECT_NE(log.find("/ardenwickWaitForAppPid=0 /ardenwickWaitForLauncherPid=0" + expectedTail + "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("launcher --ardenwick-installation-startup"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root_ / L"state" / L"maintenance-ui" / L"last-failure.json"));
    // The installer's record was given to it and, once read, removed: updates leave no records behind.
    EXPECT_NE(log.find("/ardenwickInstallRecord=\"" + (root_ / L"state" / L"maintenance-ui").string()),
              std::string::npos)
        << log;
    for (const auto& entry : std::filesystem::directory_iterator(root_ / L"state" / L"maintenance-ui")) {
        EXPECT_NE(entry.path().extension(), L".ini") << entry.path();
    }
}

// A scanner holding the update installer so that nobody else can read it: the lock on it is tried again
// until the scanner lets go, and the update goes through.
TEST_F(MaintenanceRun, TheInstallerLockWaitsOutAScanner) {
    UniqueFileHandle scanner(CreateFileW(installer_.c_str(), GENERIC_READ,
                                         FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(scanner);
    auto service = makeService();
    service->markWindowReady();
    service->startInstallation();
    // The lock is the run's next step once it shows "Verifying".
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (service->currentStatus().kind < InstallationKind::Verifying && GetTickCount64() < deadline) {
        Sleep(10);
    }
    ASSERT_EQ(service->currentStatus().kind, InstallationKind::Verifying);
    Sleep(500);
    scanner.reset();
    EXPECT_EQ(waitForFinal(*service).kind, InstallationKind::Ready);
    EXPECT_NE(fileText(log_).find("/ardenwickLauncherMaintenance=1"), std::string::npos) << fileText(log_);
}

// An installation root with letters outside the ANSI code page: the installer writes the record with the
// profile functions, and the directory in it must come back exactly.
class MaintenanceRunOutsideTheAnsiCodePage : public MaintenanceRun {
protected:
    [[nodiscard]] std::wstring baseName() const override {
        return L"ardenwick-maintenance-Zo\u00EB \u5F20\u4F1F";
    }
};

TEST_F(MaintenanceRunOutsideTheAnsiCodePage, InstallsAndRelaunches) {
    auto service = makeService();
    EXPECT_EQ(runWithWindow(*service).kind, InstallationKind::Ready);
    EXPECT_NE(fileText(log_).find("launcher --ardenwick-installation-startup"), std::string::npos)
        << fileText(log_);
}

TEST_F(MaintenanceRun, ConsumedHandoffAndItsSizeBound) {
    writeHandoff(handoff(), L"launcher-maintenance.json.consumed");
    EXPECT_EQ(runWithWindow(*makeService()).kind, InstallationKind::Ready) << "the .consumed form is read";
    stopApplication();

    std::string text = handoff().dump();
    text += std::string(1048576 - text.size(), ' ');
    writeFile(root_ / L"state" / L"launcher-maintenance.json", text);
    EXPECT_EQ(runWithWindow(*makeService()).kind, InstallationKind::Ready) << "exactly 1 MiB";
    stopApplication();

    writeFile(root_ / L"state" / L"launcher-maintenance.json", text + " ");
    auto tooLarge = makeService();
    const InstallationStatus status = runWithWindow(*tooLarge);
    EXPECT_EQ(status.kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(status.operation, "installation_failed");
    EXPECT_EQ(fileText(root_ / L"state" / L"maintenance-ui" / L"last-failure.json"),
              R"({"schemaVersion":1,"launchFailed":false})");
}

TEST_F(MaintenanceRun, EveryBrokenPromiseOfTheHandoffFails) {
    const auto expectFailure = [&](const nlohmann::json& document, const char* what) {
        writeHandoff(document);
        EXPECT_EQ(runWithWindow(*makeService()).kind, InstallationKind::InstallationFailed) << what;
    };
    // A second, distinct release: the feed rules pass it and only the one-release rule fails it.
    auto twoReleases = handoff();
    auto second = twoReleases["releases"][0];
    second["version"] = "2.4.1";
    second["payload"]["url"] =
        "https://downloads.ardenwick.app/windows/x64/2.4.1/Ardenwick-2.4.1-windows-x64.zip";
    twoReleases["releases"].push_back(second);
    expectFailure(twoReleases, "two releases");
    auto none = handoff();
    none["releases"] = nlohmann::json::array();
    expectFailure(none, "no release");
    auto dev = handoff();
    dev["environment"] = "dev";
    expectFailure(dev, "an installer built for another environment");
    auto newerLauncher = handoff();
    newerLauncher["releases"][0]["minimumLauncherVersion"] = "9.0.0";
    expectFailure(newerLauncher, "a launcher older than the release needs");
    auto changedPayload = handoff();
    changedPayload["releases"][0]["payload"]["sha256"] = std::string(64, '0');
    expectFailure(changedPayload, "a staged package that changed");
    auto badRelaunch = handoff();
    badRelaunch["relaunch"] = "false";
    expectFailure(badRelaunch, "a relaunch flag that is not a boolean");
    EXPECT_EQ(fileText(log_).find("/ardenwickLauncherMaintenance=1"), std::string::npos)
        << "no installer ran";

    writeHandoff(handoff());
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"success-capitalized");
    EXPECT_EQ(runWithWindow(*makeService()).kind, InstallationKind::InstallationFailed) << "\"Success\"";
}

// The installer ran and wrote "success", yet one of the other conditions of a good update fails: the
// update is not taken and the application is not relaunched.
TEST_F(MaintenanceRun, EverySuccessConditionBesidesTheResultIsChecked) {
    // The tree is broken last: before that, each scenario starts from a valid installation.
    for (const wchar_t* scenario : {L"nonzero-success", L"other-directory", L"broken-install"}) {
        const std::string name(scenario, scenario + std::wcslen(scenario));
        const std::size_t logBefore = fileText(log_).size();
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", scenario);
        const InstallationStatus status = runWithWindow(*makeService());
        EXPECT_EQ(status.kind, InstallationKind::InstallationFailed) << name;
        EXPECT_EQ(status.operation, "installation_failed") << name;
        const std::string log = fileText(log_).substr(logBefore);
        EXPECT_NE(log.find("installer " + name + " "), std::string::npos) << "the installer ran: " << log;
        EXPECT_EQ(log.find("launcher --ardenwick-installation-startup"), std::string::npos)
            << name << " relaunched the application";
    }
}

TEST_F(MaintenanceRun, HandshakeWithTheLauncherEvents) {
    const std::wstring name = L"Local\\Ardenwick.MaintenanceUi.test" + std::to_wstring(GetCurrentProcessId());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, (name + L".go").c_str());
    HANDLE cancel = CreateEventW(nullptr, TRUE, FALSE, (name + L".cancel").c_str());
    ASSERT_TRUE(ready && go && cancel);

    // The launcher lets maintenance go once the window has signalled it.
    {
        auto service = makeService(0, name);
        service->startInstallation();
        Sleep(300);
        EXPECT_EQ(WaitForSingleObject(ready, 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "not before the window exists";
        service->markWindowReady();
        ASSERT_EQ(WaitForSingleObject(ready, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        SetEvent(go);
        EXPECT_EQ(waitForFinal(*service).kind, InstallationKind::Ready);
    }
    stopApplication();
    ResetEvent(ready);
    ResetEvent(go);
    const std::size_t logBeforeCancels = fileText(log_).size();

    // The launcher abandons it.
    {
        auto service = makeService(0, name);
        SetEvent(cancel);
        const InstallationStatus status = runWithWindow(*service);
        EXPECT_EQ(status.kind, InstallationKind::InstallationCancelled);
        EXPECT_TRUE(status.finished);
    }
    ResetEvent(cancel);

    // The launcher process ends before it lets maintenance go.
    {
        const auto helper = testing::executableDirectory() / L"process_tree_helper.exe";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        std::wstring commandLine = L"\"" + helper.wstring() + L"\" exit 0";
        ASSERT_TRUE(CreateProcessW(helper.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                   CREATE_SUSPENDED, nullptr, nullptr, &startup, &info));
        auto service = makeService(info.dwProcessId, name);
        service->markWindowReady();
        service->startInstallation();
        ASSERT_EQ(WaitForSingleObject(ready, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        ResumeThread(info.hThread);
        WaitForSingleObject(info.hProcess, 10000);
        const InstallationStatus status = waitForFinal(*service);
        EXPECT_EQ(status.kind, InstallationKind::InstallationCancelled);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    EXPECT_EQ(fileText(log_).find("/ardenwickLauncherMaintenance=1", logBeforeCancels), std::string::npos)
        << "a cancelled hand-shake runs no installer";
    CloseHandle(ready);
    CloseHandle(go);
    CloseHandle(cancel);
}

// A launcher may make its go and cancel events auto-reset: one wait consumes the signal, so the
// hand-shake must act on the first wait that sees it.
TEST_F(MaintenanceRun, HandshakeWithAutoResetLauncherEvents) {
    const std::wstring name = L"Local\\Ardenwick.MaintenanceUi.auto" + std::to_wstring(GetCurrentProcessId());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    HANDLE go = CreateEventW(nullptr, FALSE, FALSE, (name + L".go").c_str());
    HANDLE cancel = CreateEventW(nullptr, FALSE, FALSE, (name + L".cancel").c_str());
    ASSERT_TRUE(ready && go && cancel);

    {
        auto service = makeService(0, name);
        service->markWindowReady();
        service->startInstallation();
        ASSERT_EQ(WaitForSingleObject(ready, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        SetEvent(go);
        EXPECT_EQ(waitForFinal(*service).kind, InstallationKind::Ready) << "the go was taken for a cancel";
    }
    stopApplication();
    ResetEvent(ready);
    const std::size_t logBeforeCancel = fileText(log_).size();

    // Cancelled while the window is still being made: the launcher is never told the window is ready.
    {
        auto service = makeService(0, name);
        SetEvent(cancel);
        service->startInstallation();
        Sleep(300);
        service->markWindowReady();
        const InstallationStatus status = waitForFinal(*service);
        EXPECT_EQ(status.kind, InstallationKind::InstallationCancelled);
        EXPECT_TRUE(status.finished);
        EXPECT_EQ(WaitForSingleObject(ready, 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the cancel was lost and the hand-shake went on";
    }
    EXPECT_EQ(fileText(log_).find("/ardenwickLauncherMaintenance=1", logBeforeCancel), std::string::npos);
    CloseHandle(ready);
    CloseHandle(go);
    CloseHandle(cancel);
}

// Everything before the start passes, but the update installer cannot be started (a DLL carrying the
// installer's signature and declarations): the update fails, and the record made for the installer is
// gone as after any run.
TEST_F(MaintenanceRun, AnInstallerThatCannotStartLeavesNoRecord) {
    std::filesystem::copy_file(testing::executableDirectory() / L"fixtures" / L"unstartable_installer.exe",
                               installer_, std::filesystem::copy_options::overwrite_existing);
    const InstallationStatus status = runWithWindow(*makeService());
    EXPECT_EQ(status.kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(fileText(log_).find("/ardenwickLauncherMaintenance=1"), std::string::npos)
        << "an installer ran";
    std::size_t records = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root_ / L"state" / L"maintenance-ui")) {
        records += entry.path().extension() == L".ini" ? 1 : 0;
    }
    EXPECT_EQ(records, 0U) << "the installer's record was left behind";
}

TEST_F(MaintenanceRun, LauncherOutcomesAfterTheUpdate) {
    // Without relaunch, a launcher that ends with 0 over a valid installation is enough.
    auto noRelaunch = handoff();
    noRelaunch["relaunch"] = false;
    writeHandoff(noRelaunch);
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", L"exit-zero");
    const InstallationStatus quiet = runWithWindow(*makeService());
    EXPECT_EQ(quiet.kind, InstallationKind::Ready);
    EXPECT_EQ(quiet.applicationProcessId, 0U);

    // Exit code 20 is a failed update; "Try again" only relaunches, with the retry switch.
    writeHandoff(handoff());
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", L"exit-20");
    auto service = makeService();
    EXPECT_EQ(runWithWindow(*service).kind, InstallationKind::UpdateFailed);
    EXPECT_EQ(fileText(root_ / L"state" / L"maintenance-ui" / L"last-failure.json"),
              R"({"schemaVersion":1,"launchFailed":false})");
    const std::size_t installerRuns = [&] {
        const std::string log = fileText(log_);
        std::size_t count = 0;
        for (auto at = log.find("/ardenwickLauncherMaintenance=1"); at != std::string::npos;
             at = log.find("/ardenwickLauncherMaintenance=1", at + 1)) {
            ++count;
        }
        return count;
    }();
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", L"ready");
    service->startInstallation();
    EXPECT_EQ(waitForFinal(*service).kind, InstallationKind::Ready);
    const std::string log = fileText(log_);
    EXPECT_NE(log.find("launcher --ardenwick-installation-retry"), std::string::npos) << log;
    EXPECT_EQ(installerRuns, 2U);
    EXPECT_EQ(
        log.find("/ardenwickLauncherMaintenance=1", log.rfind("launcher --ardenwick-installation-retry")),
        std::string::npos)
        << "the retry did not run the installer again";
}

} // namespace
} // namespace ardenwick
