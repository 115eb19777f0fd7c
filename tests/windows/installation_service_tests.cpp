#include "installation/install_location.h"
#include "installation/online_installation_service.h"
#include "release_server_fixture.h"
#include "support/installer_release.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/test_files.h"
#include "support/test_profile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <set>

namespace ardenwick {
namespace {

using testing::fileText;
using testing::writeFile;

/// Takes the analytics client's batches instead of PostHog, so a test can read what was recorded.
struct DeliveredEvents {
    std::mutex mutex;
    std::vector<nlohmann::json> events;

    void take(const std::string& body) {
        const auto batch = nlohmann::json::parse(body);
        std::lock_guard lock(mutex);
        for (const auto& event : batch.at("batch")) {
            events.push_back(event);
        }
    }

    std::vector<nlohmann::json> inOrder() {
        std::lock_guard lock(mutex);
        std::vector<nlohmann::json> sorted = events;
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
            return a.at("timestamp").template get<std::string>() <
                   b.at("timestamp").template get<std::string>();
        });
        return sorted;
    }
};

// Drives the real service through whole attempts: the release server offers the stand-in full
// installer, which installs the stand-in launcher and application under a private root.
class InstallationService : public ::testing::Test {
protected:
    void SetUp() override {
        auto found = testing::ReleaseServer::fromEnvironment();
        ASSERT_TRUE(found) << "run through tools/release-server/with-server";
        server_ = std::move(*found);
        base_ = std::filesystem::temp_directory_path() / L"ardenwick-service";
        // A launcher of the previous test may take a moment to end after its application was stopped.
        const std::error_code error = testing::removeTreeWhenFree(base_);
        ASSERT_FALSE(error) << error.message();
        root_ = base_ / L"Programs" / L"Ardenwick";
        log_ = base_ / L"stand-ins.log";
        std::filesystem::create_directories(base_);
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LOG", log_.c_str());
        installLocation_.remove();
        // The fresh profile's: no failure record and no attempt directories, and none of the user's.
        stateDirectory_ = makeService()->stateDirectory();
        ASSERT_EQ(stateDirectory_, profile_.localAppData() / L"Ardenwick" / L"Installation");
    }

    void TearDown() override {
        stopApplication();
        for (const wchar_t* name : {L"ARDENWICK_STANDIN_ROOT", L"ARDENWICK_STANDIN_LOG",
                                    L"ARDENWICK_STANDIN_INSTALLER", L"ARDENWICK_STANDIN_LAUNCHER"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }

    std::unique_ptr<OnlineInstallationService> makeService(const std::string& scenario = "installer",
                                                           std::uint64_t launchDeadlineMs = 30000) {
        ServiceTuning tuning;
        path_ = server_.uniquePath(scenario);
        tuning.fullInstallerUrl = server_.baseUrl() + std::wstring(path_.begin(), path_.end());
        tuning.downloadTimings.retryWaitDivisor = 50;
        tuning.launchDeadlineMs = launchDeadlineMs;
        tuning.metricsOptions.outboxPath = base_ / L"outbox.db";
        tuning.metricsOptions.batchSender = [events = events_](const std::string& body) {
            events->take(body);
            return true;
        };
        return std::make_unique<OnlineInstallationService>(std::nullopt, tuning);
    }

    /// A service that starts without a saved failure, as after a successful run.
    std::unique_ptr<OnlineInstallationService> freshService(const std::string& scenario = "installer",
                                                            std::uint64_t launchDeadlineMs = 30000) {
        std::filesystem::remove(stateDirectory_ / L"last-failure.json");
        return makeService(scenario, launchDeadlineMs);
    }

    static InstallationStatus waitForFinal(OnlineInstallationService& service) {
        const ULONGLONG deadline = GetTickCount64() + 120000;
        InstallationStatus status = service.currentStatus();
        while (status.kind < InstallationKind::Ready && GetTickCount64() < deadline) {
            Sleep(50);
            status = service.currentStatus();
        }
        return status;
    }

    InstallationStatus runAttempt(OnlineInstallationService& service) {
        service.startInstallation();
        return waitForFinal(service);
    }

    /// The attempt directories left once the service is gone: its destructor waits for the worker,
    /// whose clean-up follows the final status.
    [[nodiscard]] std::vector<std::filesystem::path>
    attemptDirectoriesAfter(std::unique_ptr<OnlineInstallationService>& service) const {
        service.reset();
        std::vector<std::filesystem::path> directories;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(stateDirectory_, ignored)) {
            if (entry.is_directory()) {
                directories.push_back(entry.path());
            }
        }
        return directories;
    }

    [[nodiscard]] std::string failureRecord(const OnlineInstallationService& service) const {
        return fileText(service.stateDirectory() / L"last-failure.json");
    }

    [[nodiscard]] bool installerRan() const { return fileText(log_).find("installer ") != std::string::npos; }

    void stopApplication() { testing::stopStandInApplication(root_); }

    /// Stops the application and removes the installation; its launcher ends shortly after the
    /// application, and until then its file cannot be deleted.
    void removeInstallation() {
        stopApplication();
        const std::error_code error = testing::removeTreeWhenFree(root_);
        ASSERT_FALSE(error) << error.message();
        installLocation_.remove();
    }

    // First: a first start on a profile of its own, which the members below and every service use.
    testing::TestProfile profile_{L"service"};
    testing::ReleaseServer server_;
    std::string path_;
    std::shared_ptr<DeliveredEvents> events_ = std::make_shared<DeliveredEvents>();
    std::filesystem::path base_;
    std::filesystem::path root_;
    std::filesystem::path log_;
    std::filesystem::path stateDirectory_;
    testing::ScopedRegistryValue installLocation_{testing::productKey(InstallRegistryKey),
                                                  InstallLocationValue};
};

TEST_F(InstallationService, FreshAttemptInstallsAndLaunchesThenFindsTheInstallationNextTime) {
    auto service = makeService();
    writeFile(service->stateDirectory() / L"last-failure.json",
              R"({"schemaVersion":1,"launchFailed":false})");
    service = makeService();
    ASSERT_EQ(service->currentStatus().kind, InstallationKind::InstallationFailed)
        << "saved failure presented";
    service->startInstallation(); // only dismisses the saved failure
    EXPECT_EQ(service->currentStatus().kind, InstallationKind::InstallationFailed);

    const InstallationStatus status = runAttempt(*service);
    EXPECT_EQ(status.kind, InstallationKind::Ready) << status.operation;
    EXPECT_EQ(status.operation, "");
    EXPECT_EQ(readInstallLocation(), root_ / L"Ardenwick.exe");
    EXPECT_EQ(service->applicationPath(), root_ / L"Ardenwick.exe");
    EXPECT_FALSE(std::filesystem::exists(stateDirectory_ / L"last-failure.json"));
    EXPECT_TRUE(attemptDirectoriesAfter(service).empty()) << "the attempt directory is removed";
    EXPECT_EQ(server_.requestsFor(path_).size(), 1U);
    const std::string log = fileText(log_);
    EXPECT_NE(log.find("launcher --ardenwick-installation-startup"), std::string::npos) << log;
    stopApplication();

    // Installed now: the next run neither downloads nor installs, and still removes the folder a killed
    // download left.
    const auto dead = stateDirectory_ / L"0F3A9C2E-7B41-4D8A-9E10-ABCDEF012345";
    writeFile(dead / L"setup.partial", std::string(100000, 'p'));
    auto again = makeService();
    const InstallationStatus second = runAttempt(*again);
    EXPECT_EQ(second.kind, InstallationKind::AlreadyInstalled);
    EXPECT_TRUE(server_.requestsFor(path_).empty()) << "no request when already installed";
    EXPECT_FALSE(std::filesystem::exists(dead)) << "a dead attempt folder is kept when already installed";

    // "Open" from AlreadyInstalled launches with the open switch.
    again->openApplication();
    EXPECT_EQ(waitForFinal(*again).kind, InstallationKind::Ready);
    EXPECT_NE(fileText(log_).find("launcher --ardenwick-installation-open"), std::string::npos);
    EXPECT_TRUE(attemptDirectoriesAfter(again).empty());
}

TEST_F(InstallationService, ASuccessfulAttemptRecordsEveryStageInOrder) {
    auto service = freshService();
    const std::string flowId = service->installFlowId();
    ASSERT_EQ(runAttempt(*service).kind, InstallationKind::Ready);
    service.reset(); // the client delivers what is left before it goes
    const std::vector<nlohmann::json> events = events_->inOrder();
    std::vector<std::string> names;
    for (const auto& event : events) {
        names.push_back(event.at("event").get<std::string>());
    }
    const std::vector<std::string> expected = {
        "bootstrapper_started",        "bootstrapper_preparation_result", "installer_download_started",
        "installer_download_result",   "installer_verification_started",  "installer_verification_result",
        "installer_process_requested", "installer_process_started",       "installer_process_result",
        "bootstrapper_launch_started", "bootstrapper_launch_result"};
    // The first service of the fixture (made to find the state directory) recorded a start of its own.
    ASSERT_GE(names.size(), expected.size());
    // Events of the same millisecond share a timestamp and leave the outbox in uuid order, so the order
    // that counts is that of their timestamps: each stage's event is no earlier than the one before it.
    std::vector<std::string> last(names.end() - static_cast<std::ptrdiff_t>(expected.size()), names.end());
    std::vector<std::string> sortedExpected = expected;
    std::sort(last.begin(), last.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(last, sortedExpected);
    const auto findEvent = [&](const std::string& name) {
        const auto it = std::find_if(events.rbegin(), events.rend(),
                                     [&](const auto& event) { return event.at("event") == name; });
        return it == events.rend() ? nlohmann::json::object() : *it;
    };
    std::string previousTimestamp;
    for (const auto& name : expected) {
        const std::string timestamp = findEvent(name).value("timestamp", "");
        EXPECT_LE(previousTimestamp, timestamp) << name << " is recorded before the stage before it";
        previousTimestamp = timestamp;
    }
    const auto find = [&](const char* name) {
        return findEvent(name).value("properties", nlohmann::json::object());
    };
    const auto preparation = find("bootstrapper_preparation_result");
    EXPECT_EQ(preparation.value("operation", ""), "download_required");
    EXPECT_EQ(preparation.value("install_flow_id", ""), flowId);
    const auto download = find("installer_download_result");
    EXPECT_EQ(download.value("result", ""), "success");
    EXPECT_EQ(download.value("http_status", 0), 200);
    EXPECT_GT(download.value("downloaded_bytes", 0), 0);
    EXPECT_EQ(download.value("downloaded_bytes", 0), download.value("total_bytes", -1));
    const auto process = find("installer_process_result");
    EXPECT_EQ(process.value("error_code", ""), "none");
    EXPECT_EQ(process.value("exit_code", -1), 0);
    EXPECT_EQ(process.value("attempt_id", ""), preparation.value("attempt_id", "x"));
    const auto launch = find("bootstrapper_launch_result");
    EXPECT_EQ(launch.value("result", ""), "success");
    EXPECT_EQ(launch.value("launch_trigger", ""), "installer");
    EXPECT_EQ(launch.value("stage", ""), "launch");
}

TEST_F(InstallationService, EachInstallerOutcomeEndsInItsStatusAndFailureRecord) {
    struct Case {
        const wchar_t* scenario;
        InstallationKind kind;
        const char* operation;
    };
    for (const Case& c : {Case{L"failure", InstallationKind::InstallationFailed, "installation_failed"},
                          Case{L"cancelled", InstallationKind::InstallationFailed, "installation_failed"},
                          Case{L"wrong-attempt", InstallationKind::ResultUnknown, "nsis_result_unknown"},
                          Case{L"nonzero-success", InstallationKind::ResultUnknown, "nsis_result_unknown"},
                          Case{L"no-install", InstallationKind::ResultUnknown, "nsis_result_unknown"}}) {
        SCOPED_TRACE(std::filesystem::path(c.scenario).string());
        removeInstallation();
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", c.scenario);
        auto service = freshService();
        const InstallationStatus status = runAttempt(*service);
        EXPECT_EQ(status.kind, c.kind);
        EXPECT_EQ(status.operation, c.operation);
        EXPECT_EQ(failureRecord(*service), R"({"schemaVersion":1,"launchFailed":false})");
        EXPECT_TRUE(attemptDirectoriesAfter(service).empty());
    }
    // Exit code 0 and a valid installation without any result record is a success.
    removeInstallation();
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"no-record");
    auto service = freshService();
    EXPECT_EQ(runAttempt(*service).kind, InstallationKind::Ready);
}

TEST_F(InstallationService, AnInstallerThatLeavesAChildRunningIsWaitedFor) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"child-outlives");
    auto service = makeService();
    const InstallationStatus status = runAttempt(*service);
    EXPECT_EQ(status.kind, InstallationKind::Ready) << status.operation << "\n" << fileText(log_);
    EXPECT_TRUE(std::filesystem::exists(root_ / L"child-finished.txt"));
}

// The attempt holds its directory and the verified installer open: another process (here the installer
// itself, once started) can neither swap, rename nor delete the file that was verified, nor move the
// directory away under the attempt.
TEST_F(InstallationService, TheVerifiedInstallerAndItsDirectoryAreLockedWhileTheAttemptRuns) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"tamper-self");
    auto service = freshService();
    EXPECT_EQ(runAttempt(*service).kind, InstallationKind::Ready);
    const std::string log = fileText(log_);
    const auto at = log.find("installer tamper ");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string line = log.substr(at, log.find('\n', at) - at);
    for (const char* what : {"replace", "rename", "move-directory", "delete"}) {
        EXPECT_NE(line.find(std::string(" ") + what + "=0/"), std::string::npos) << what << ": " << line;
    }
}

TEST_F(InstallationService, AStopWhileTheInstallerRunsDoesNotStopIt) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"child-outlives");
    auto service = freshService();
    service->startInstallation();
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (service->currentStatus().kind != InstallationKind::Installing && GetTickCount64() < deadline) {
        Sleep(5);
    }
    ASSERT_EQ(service->currentStatus().kind, InstallationKind::Installing);
    EXPECT_TRUE(service->requestStop());
    // The installer and its child run to their end; the stop is then seen by the launch.
    EXPECT_EQ(waitForFinal(*service).kind, InstallationKind::LaunchFailed);
    EXPECT_TRUE(std::filesystem::exists(root_ / L"child-finished.txt"));
    EXPECT_EQ(readInstallLocation(), root_ / L"Ardenwick.exe");
    // The launcher was started before the stop was seen; let its application come up so it can be ended.
    const ULONGLONG started = GetTickCount64();
    while (!std::filesystem::exists(root_ / L"state" / L"standin-application.pid") &&
           GetTickCount64() - started < 20000) {
        Sleep(50);
    }
}

TEST_F(InstallationService, AnInstallerThatFailsVerificationIsNeverRun) {
    for (const char* scenario : {"tampered", "other_signer", "unsigned"}) {
        SCOPED_TRACE(scenario);
        auto service = freshService(scenario);
        const InstallationStatus status = runAttempt(*service);
        EXPECT_EQ(status.kind, InstallationKind::InstallationFailed);
        EXPECT_EQ(status.operation, "verification_failed");
        EXPECT_EQ(server_.requestsFor(path_).size(), 1U);
        EXPECT_TRUE(attemptDirectoriesAfter(service).empty());
    }
    EXPECT_FALSE(installerRan()) << fileText(log_);
    EXPECT_FALSE(std::filesystem::exists(root_));
}

// An older release that we signed passes every signature check; the build's floor (in test builds the
// stand-in's own version, which every other attempt here installs) refuses it before it can run.
TEST_F(InstallationService, AnInstallerBelowTheVersionFloorIsNeverRun) {
    auto service = freshService("older");
    const InstallationStatus status = runAttempt(*service);
    EXPECT_EQ(status.kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(status.operation, "verification_failed");
    EXPECT_TRUE(attemptDirectoriesAfter(service).empty()); // the client delivers what is left
    const std::vector<nlohmann::json> events = events_->inOrder();
    const auto verification = std::find_if(events.rbegin(), events.rend(), [](const auto& event) {
        return event.at("event") == "installer_verification_result";
    });
    ASSERT_NE(verification, events.rend());
    const auto properties = verification->at("properties");
    EXPECT_EQ(properties.value("result", ""), "failure");
    EXPECT_EQ(properties.value("operation", ""), "installer_metadata_mismatch");
    EXPECT_EQ(properties.value("installer_version", ""), "2.3.9");
    EXPECT_FALSE(installerRan()) << fileText(log_);
    EXPECT_FALSE(std::filesystem::exists(root_));
}

// An installer that passes every check but that Windows refuses to start (here a DLL; in the field an
// installer that asks for elevation, error 740): the attempt fails, and its event names the start and
// the Win32 error Windows gave, so the makers can tell a refused start from a failing installer.
TEST_F(InstallationService, AnInstallerWindowsRefusesToStartIsReportedWithTheWin32Error) {
    auto service = freshService("not_executable");
    const InstallationStatus status = runAttempt(*service);
    EXPECT_EQ(status.kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(status.operation, "installation_failed");
    const std::vector<nlohmann::json> events = events_->inOrder();
    const auto result = std::find_if(events.rbegin(), events.rend(), [](const auto& event) {
        return event.at("event") == "installer_process_result";
    });
    ASSERT_NE(result, events.rend());
    const auto properties = result->at("properties");
    EXPECT_EQ(properties.value("result", ""), "failure");
    EXPECT_EQ(properties.value("operation", ""), "installer_process_create");
    EXPECT_EQ(properties.value("win32_error", 0), static_cast<int>(ERROR_BAD_EXE_FORMAT)) << result->dump();
    EXPECT_FALSE(installerRan()) << fileText(log_);
}

// The attempt takes a full installer of up to 512 MiB: one that announces a byte more is refused before
// its body is read; one that announces exactly that much is downloaded (and here fails later, its body
// being far shorter than announced).
TEST_F(InstallationService, TheFullInstallerMayHave512MiBAndNotAByteMore) {
    const auto downloadFailure = [&](const std::string& flow) {
        const std::vector<nlohmann::json> events = events_->inOrder();
        const auto result = std::find_if(events.rbegin(), events.rend(), [&](const auto& event) {
            return event.at("event") == "installer_download_result" &&
                   event.at("properties").value("install_flow_id", "") == flow;
        });
        return result == events.rend() ? std::string("no download result")
                                       : result->at("properties").value("operation", "");
    };
    auto over = freshService("announced_over_limit");
    EXPECT_EQ(runAttempt(*over).kind, InstallationKind::InstallationFailed);
    const std::string overFlow = over->installFlowId();
    over.reset(); // the client delivers what is left before it goes
    EXPECT_EQ(downloadFailure(overFlow), "download_content_length");
    EXPECT_EQ(server_.requestsFor(path_).size(), 1U);

    auto atLimit = freshService("announced_at_limit");
    EXPECT_EQ(runAttempt(*atLimit).kind, InstallationKind::InstallationFailed);
    const std::string atLimitFlow = atLimit->installFlowId();
    atLimit.reset();
    const std::string atLimitFailure = downloadFailure(atLimitFlow);
    EXPECT_NE(atLimitFailure, "download_content_length");
    EXPECT_NE(atLimitFailure, "no download result");
    EXPECT_FALSE(installerRan()) << fileText(log_);
}

TEST_F(InstallationService, DownloadFailuresAndStops) {
    auto missing = makeService("missing");
    const InstallationStatus status = runAttempt(*missing);
    EXPECT_EQ(status.kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(status.operation, "download_failed");
    EXPECT_EQ(server_.requestsFor(path_).size(), 1U) << "404 is not retried";

    // A transfer cut twice is resumed and still ends in a verified installation.
    auto cut = freshService("installer_cut_twice");
    EXPECT_EQ(runAttempt(*cut).kind, InstallationKind::Ready);
    const auto requests = server_.requestsFor(path_);
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(requests[1].header("Range"), "bytes=400000-");
    EXPECT_EQ(requests[2].header("Range"), "bytes=700000-");
    const std::string cutFlow = cut->installFlowId();
    cut.reset(); // the client delivers what is left before it goes
    // Each retry names what failed, where the transfer stood and the wait of the schedule before the next.
    const auto total =
        static_cast<std::int64_t>(std::filesystem::file_size(server_.payloadPath("installer")));
    std::vector<nlohmann::json> retries;
    for (const auto& event : events_->inOrder()) {
        if (event.at("event") == "installer_download_retry" &&
            event.at("properties").value("install_flow_id", "") == cutFlow) {
            retries.push_back(event.at("properties"));
        }
    }
    ASSERT_EQ(retries.size(), 2U);
    const std::int64_t downloaded[] = {400000, 700000};
    const std::int64_t resumed[] = {0, 400000};
    const std::int64_t httpStatus[] = {200, 206};
    const std::int64_t delays[] = {2000, 5000};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const auto& retry = retries[i];
        EXPECT_EQ(retry.value("stage", ""), "download");
        EXPECT_EQ(retry.value("retry_number", -1), static_cast<std::int64_t>(i + 1));
        EXPECT_EQ(retry.value("retry_delay_ms", -1), delays[i])
            << "the schedule's delay, not the shortened wait";
        // Windows fails the read with 12030; Wine ends the cut body early (docs/wine-differences.md).
        const std::string operation = retry.value("operation", "");
        EXPECT_TRUE(operation == "download_size_mismatch" || operation == "http_read") << operation;
        EXPECT_EQ(retry.value("error_code", ""), operation);
        EXPECT_EQ(retry.value("downloaded_bytes", -1), downloaded[i]);
        EXPECT_EQ(retry.value("resumed_bytes", -1), resumed[i]);
        EXPECT_EQ(retry.value("total_bytes", -1), total);
        EXPECT_EQ(retry.value("http_status", -1), httpStatus[i]);
    }
    removeInstallation();

    // While the download runs, "Try again" does nothing; a stop ends it as a download failure.
    auto slow = freshService("installer_slow");
    slow->startInstallation();
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (slow->currentStatus().doneBytes == 0 && GetTickCount64() < deadline) {
        Sleep(20);
    }
    ASSERT_EQ(slow->currentStatus().kind, InstallationKind::Downloading);
    EXPECT_GT(slow->currentStatus().totalBytes, 0U);
    slow->startInstallation();
    EXPECT_EQ(slow->currentStatus().kind, InstallationKind::Downloading);
    EXPECT_TRUE(slow->requestStop());
    const InstallationStatus stopped = waitForFinal(*slow);
    EXPECT_EQ(stopped.kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(stopped.operation, "download_failed");
    // "Open" is refused in InstallationFailed.
    slow->openApplication();
    EXPECT_EQ(slow->currentStatus().kind, InstallationKind::InstallationFailed);
    EXPECT_TRUE(attemptDirectoriesAfter(slow).empty());
}

TEST_F(InstallationService, LaunchOutcomes) {
    struct Case {
        const wchar_t* launcher;
        std::uint64_t deadlineMs;
    };
    // A launcher that fails, one that exits 0 without starting anything, an application never ready.
    for (const Case& c : {Case{L"exit-3", 30000}, Case{L"exit-zero", 3000}, Case{L"never-ready", 3000},
                          Case{L"exit-20", 30000}}) {
        SCOPED_TRACE(std::filesystem::path(c.launcher).string());
        removeInstallation();
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", c.launcher);
        auto service = freshService("installer", c.deadlineMs);
        const InstallationStatus status = runAttempt(*service);
        EXPECT_EQ(status.kind, InstallationKind::LaunchFailed);
        EXPECT_EQ(failureRecord(*service), R"({"schemaVersion":1,"launchFailed":true})");
    }
    // The next start-up presents it as a launch failure, whose "Open" may launch again.
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", L"ready");
    auto next = makeService();
    EXPECT_EQ(next->currentStatus().kind, InstallationKind::LaunchFailed);
    EXPECT_TRUE(next->savedFailurePresented());
    next->openApplication();
    const InstallationStatus opened = waitForFinal(*next);
    EXPECT_EQ(opened.kind, InstallationKind::Ready);
    EXPECT_FALSE(std::filesystem::exists(next->stateDirectory() / L"last-failure.json"))
        << "a successful launch removes the record";
}

// A run ended while its installer ran left that installer running in its attempt folder. The next
// attempt waits for it as `Installing` (a stop ends the wait), never touches its records, and once it
// has ended finds the installation it made: no download, no second installer.
TEST_F(InstallationService, AnEarlierRunsInstallerStillRunningIsWaitedFor) {
    const auto earlier = stateDirectory_ / L"5D2C8B10-3E4F-4A6B-8C7D-0123456789AB";
    std::filesystem::create_directories(earlier);
    std::filesystem::copy_file(testing::executableDirectory().parent_path() / L"served" /
                                   L"Ardenwick-FullSetup.exe",
                               earlier / L"setup.exe");
    const auto record = earlier / L"result.ini";
    writeFile(record.wstring() + L".identity", "[context]\r\nattempt_id=earlier\r\n");
    writeFile(record.wstring() + L".context", R"({"schemaVersion":1})");
    testing::InstallerRelease release;
    ASSERT_TRUE(release.created());
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"held");
    testing::StartedProcess installer = testing::startProgram(
        earlier / L"setup.exe",
        L"/S /ardenwickBootstrapper=1 /ardenwickInstallRecord=" + testing::quoteArgument(record.wstring()));
    ASSERT_TRUE(installer.process);
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"success");
    const auto waitForKind = [](OnlineInstallationService& service, InstallationKind kind) {
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (service.currentStatus().kind != kind && GetTickCount64() < deadline) {
            Sleep(20);
        }
        return service.currentStatus().kind == kind;
    };

    auto stopped = freshService();
    stopped->startInstallation();
    ASSERT_TRUE(waitForKind(*stopped, InstallationKind::Installing));
    Sleep(300);
    EXPECT_EQ(stopped->currentStatus().kind, InstallationKind::Installing) << "the wait ended by itself";
    EXPECT_TRUE(stopped->requestStop());
    const InstallationStatus stop = waitForFinal(*stopped);
    EXPECT_EQ(stop.kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(stop.operation, "installation_failed");
    stopped.reset();

    auto service = freshService();
    service->startInstallation();
    ASSERT_TRUE(waitForKind(*service, InstallationKind::Installing));
    EXPECT_EQ(fileText(record.wstring() + L".identity"), "[context]\r\nattempt_id=earlier\r\n")
        << "the running installer's records were touched";
    EXPECT_EQ(fileText(record.wstring() + L".context"), R"({"schemaVersion":1})");
    release.release();
    EXPECT_EQ(WaitForSingleObject(installer.process.get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    installer.process.reset();
    EXPECT_EQ(waitForFinal(*service).kind, InstallationKind::AlreadyInstalled);
    EXPECT_TRUE(server_.requestsFor(path_).empty()) << "downloaded while an installer ran";
    const std::string log = fileText(log_);
    EXPECT_NE(log.find("installer held records identity=1 context=1"), std::string::npos) << log;
    EXPECT_EQ(log.find("installer success"), std::string::npos) << "a second installer ran: " << log;
    EXPECT_TRUE(attemptDirectoriesAfter(service).empty()) << "the ended installer's folder is dead now";

    std::vector<nlohmann::json> preparations;
    for (const auto& event : events_->inOrder()) {
        if (event.at("event") == "bootstrapper_preparation_result") {
            preparations.push_back(event.at("properties"));
        }
    }
    ASSERT_GE(preparations.size(), 2U);
    const auto& first = preparations[preparations.size() - 2];
    const auto& last = preparations.back();
    EXPECT_EQ(first.value("result", ""), "failure") << first.dump();
    EXPECT_EQ(first.value("operation", ""), "earlier_installer_wait_stopped") << first.dump();
    EXPECT_GE(first.value("earlier_installer_wait_ms", 0), 300) << first.dump();
    EXPECT_EQ(last.value("operation", ""), "existing_installation") << last.dump();
    EXPECT_GE(last.value("earlier_installer_wait_ms", -1), 0) << last.dump();
}

TEST_F(InstallationService, SecondAttemptUsesANewAttemptId) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"failure");
    auto service = makeService();
    EXPECT_EQ(runAttempt(*service).kind, InstallationKind::InstallationFailed);
    EXPECT_EQ(runAttempt(*service).kind, InstallationKind::InstallationFailed);
    const std::string log = fileText(log_);
    const std::regex attempt("attempt=([0-9A-F-]{36})");
    std::set<std::string> ids;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), attempt); it != std::sregex_iterator();
         ++it) {
        ids.insert((*it)[1]);
    }
    EXPECT_EQ(ids.size(), 2U) << log;
}

TEST_F(InstallationService, SavedFailuresThatAreIgnored) {
    auto probe = makeService();
    const auto record = probe->stateDirectory() / L"last-failure.json";
    for (const std::string& text :
         {std::string(R"({"schemaVersion":2,"launchFailed":true})"), std::string("{not json"),
          std::string(R"({"schemaVersion":1,"launchFailed":true})") + std::string(4096, ' ')}) {
        writeFile(record, text);
        auto service = makeService();
        EXPECT_EQ(service->currentStatus().kind, InstallationKind::Preparing) << text.substr(0, 40);
        EXPECT_FALSE(service->savedFailurePresented());
    }
    // "launchFailed" true without a valid installation is shown as an installation failure.
    writeFile(record, R"({"schemaVersion":1,"launchFailed":true})");
    auto service = makeService();
    EXPECT_EQ(service->currentStatus().kind, InstallationKind::InstallationFailed);
    EXPECT_TRUE(service->savedFailurePresented());
    // A "launchFailed" that is not a boolean is shown, but the first start request starts at once.
    writeFile(record, R"({"schemaVersion":1,"launchFailed":"true"})");
    auto notKept = makeService("missing");
    EXPECT_EQ(notKept->currentStatus().kind, InstallationKind::InstallationFailed);
    EXPECT_FALSE(notKept->savedFailurePresented());
    notKept->startInstallation();
    EXPECT_FALSE(std::filesystem::exists(record)) << "a new attempt deletes the record";
    EXPECT_EQ(waitForFinal(*notKept).operation, "download_failed");
}

} // namespace
} // namespace ardenwick
