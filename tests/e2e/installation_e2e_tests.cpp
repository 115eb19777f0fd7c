#include "common/text_conversion.h"
#include "installation/attempt_identifier.h"
#include "installation/install_location.h"
#include "release_server_fixture.h"
#include "support/installer_release.h"
#include "support/installer_window.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/test_files.h"
#include "support/test_profile.h"
#include "support/verification_hold.h"
#include "telemetry/analytics_identifiers.h"
#include "telemetry/configuration_provider.h"
#include "telemetry/installation_outbox.h"
#include "ui/localized_strings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

using testing::fileText;

constexpr std::uint32_t RunTimeoutMs = 120000;
const std::string InstallerPath = "/s/current/windows-installer-prod-x64/Ardenwick-FullSetup.exe";

/// LocalAppData of the profile the programs of the test run on.
std::filesystem::path localAppData() {
    return testing::productLocalAppData();
}

std::wstring text(LocalizedStrings::Entry entry) {
    return std::wstring(stringsForLanguage(EnglishLanguageTag)[entry]);
}

/// The analytics events the run left in the outbox (analytics go to a closed port in test builds, so
/// every recorded event is still there), oldest first.
std::vector<nlohmann::json> outboxEvents() {
    std::vector<nlohmann::json> events;
    const auto directory = localAppData() / L"Ardenwick" / L"Analytics";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.path().extension() != L".db") {
            continue;
        }
        sqlite3* db = nullptr;
        if (sqlite3_open16(entry.path().u16string().c_str(), &db) != SQLITE_OK) {
            ADD_FAILURE() << "cannot open the outbox";
            sqlite3_close(db);
            continue;
        }
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT body FROM events ORDER BY created, rowid", -1, &statement, nullptr);
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            const auto body =
                nlohmann::json::parse(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            for (const auto& event : body.at("batch")) {
                events.push_back(event);
            }
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
    }
    return events;
}

std::vector<std::string> eventNames(const std::vector<nlohmann::json>& events) {
    std::vector<std::string> names;
    for (const auto& event : events) {
        names.push_back(event.at("event").get<std::string>());
    }
    return names;
}

/// The events' names and, where they have them, their "operation" and "result", for a failure message.
std::string eventsText(const std::vector<nlohmann::json>& events) {
    std::string text;
    for (const auto& event : events) {
        text += (text.empty() ? "" : ", ") + event.at("event").get<std::string>();
        const auto& properties = event.value("properties", nlohmann::json::object());
        for (const char* key : {"operation", "result"}) {
            if (properties.contains(key) && properties.at(key).is_string()) {
                text += " " + properties.at(key).get<std::string>();
            }
        }
    }
    return text;
}

std::optional<nlohmann::json> lastEventNamed(const std::vector<nlohmann::json>& events,
                                             const std::string& name) {
    std::optional<nlohmann::json> found;
    for (const auto& event : events) {
        if (event.at("event") == name) {
            found = event;
        }
    }
    return found;
}

/// How many times the log holds `line`.
std::size_t occurrences(const std::string& log, const std::string& line) {
    std::size_t count = 0;
    for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) {
        ++count;
    }
    return count;
}

/// A helper process holding files as a scanner or a live attempt does (tests/windows/helpers), and
/// the event it sets once it holds one.
struct ScannerStandIn {
    ScannerStandIn(const std::wstring& arguments, const std::wstring& eventName)
        : held(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str())),
          watching(CreateEventW(nullptr, TRUE, FALSE, (eventName + L".watching").c_str())),
          process(testing::startProgram(testing::executableDirectory() / L"scanner_stand_in.exe",
                                        arguments + L" " + eventName)) {}
    ~ScannerStandIn() {
        if (process.process && WaitForSingleObject(process.process.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.process.get(), 9);
            WaitForSingleObject(process.process.get(), 10000);
        }
    }
    [[nodiscard]] bool holds(DWORD timeoutMs) const {
        return WaitForSingleObject(held.get(), timeoutMs) == 0;
    }
    /// A download scanner knows the folders that were there before and waits for the next one.
    [[nodiscard]] bool watches(DWORD timeoutMs) const {
        return WaitForSingleObject(watching.get(), timeoutMs) == 0;
    }
    [[nodiscard]] std::optional<DWORD> exitCode(DWORD timeoutMs) const {
        DWORD code = 0;
        if (WaitForSingleObject(process.process.get(), timeoutMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process.process.get(), &code)) {
            return std::nullopt;
        }
        return code;
    }

    UniqueKernelHandle held;
    UniqueKernelHandle watching;
    testing::StartedProcess process;
};

std::string rangesOf(const std::vector<testing::LoggedRequest>& requests) {
    std::string text;
    for (const auto& request : requests) {
        text += " [" + std::to_string(request.index) + " " + request.header("Range").value_or("no range") +
                " -> " + std::to_string(request.status) + "]";
    }
    return text;
}

/// Whether `wanted` appear in `screens` in this order (other screens may come between them).
bool showsInOrder(const std::vector<std::wstring>& screens, const std::vector<std::wstring>& wanted) {
    std::size_t next = 0;
    for (const auto& screen : screens) {
        if (next < wanted.size() && screen.find(wanted[next]) != std::wstring::npos) {
            ++next;
        }
    }
    return next == wanted.size();
}

// The real Ardenwick-Setup.exe, built with its download endpoint on the loopback release server, installs
// the signed stand-in full installer as on a user's PC. Each case chooses what the server answers.
class InstallationEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        auto server = testing::ReleaseServer::fromEnvironment();
        ASSERT_TRUE(server) << "runs under tools/release-server/with-server";
        server_ = *server;
        base_ = std::filesystem::temp_directory_path() / L"ardenwick-e2e-installation";
        ASSERT_FALSE(testing::removeTreeWhenFree(base_));
        root_ = base_ / L"Ardenwick";
        log_ = base_ / L"stand-ins.log";
        std::filesystem::create_directories(base_);
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LOG", log_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"success");
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", L"ready");
        installLocation_.remove();
        requestsBefore_ = server_.requestsFor(InstallerPath).size();
    }

    void TearDown() override {
        testing::stopStandInApplication(root_);
        for (const wchar_t* name :
             {L"ARDENWICK_STANDIN_ROOT", L"ARDENWICK_STANDIN_LOG", L"ARDENWICK_STANDIN_INSTALLER",
              L"ARDENWICK_STANDIN_LAUNCHER", L"ARDENWICK_STANDIN_SELF_COPY"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }

    static std::filesystem::path stateDirectory() { return localAppData() / L"Ardenwick" / L"Installation"; }
    static std::filesystem::path failureRecord() { return stateDirectory() / L"last-failure.json"; }
    static std::filesystem::path setupProgram() {
        return testing::executableDirectory() / L"Ardenwick-Setup.exe";
    }

    /// The scanner stand-in's arguments to hold the next download from its start until `holdAfter`
    /// (milliseconds, or "ended" for until the stand-in is ended) after its last byte; "unreadable" holds
    /// it so that nobody else can read it.
    [[nodiscard]] std::wstring holdDownloadArguments(const std::wstring& holdAfter,
                                                     const std::wstring& mode = L"partial") const {
        return mode + L" " + testing::quoteArgument(stateDirectory().wstring()) + L" " +
               std::to_wstring(std::filesystem::file_size(server_.payloadPath("good"))) + L" " + holdAfter;
    }

    /// The attempt directories still under the state directory: every attempt removes its own.
    static std::size_t attemptDirectoriesLeft() {
        std::size_t count = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(stateDirectory(), error)) {
            count += entry.is_directory() ? 1 : 0;
        }
        return count;
    }

    /// The requests for the installer since this test began (one server serves every test of the run).
    [[nodiscard]] std::vector<testing::LoggedRequest> installerRequests() const {
        auto requests = server_.requestsFor(InstallerPath);
        requests.erase(requests.begin(), requests.begin() + static_cast<std::ptrdiff_t>(requestsBefore_));
        return requests;
    }

    [[nodiscard]] bool installerRan() const { return fileText(log_).find("installer ") != std::string::npos; }

    /// Waits for the failure screen with this detail and its "Try again", then closes the window: the
    /// run ends with exit code 1.
    static void closeFromFailureScreen(testing::WatchedProgram& program, const std::wstring& detail) {
        EXPECT_TRUE(program.waitForScreen(detail, RunTimeoutMs)) << wideToUtf8(program.screensText());
        EXPECT_TRUE(program.waitForScreen(text(LocalizedStrings::tryAgainLabel), 10000));
        program.closeWindow();
        EXPECT_EQ(program.waitForExit(RunTimeoutMs), 1U);
    }

    /// Checks what a finished installation leaves: the location, the installed tree, the running
    /// application, no failure record and no attempt directory.
    void expectInstalled() const {
        EXPECT_EQ(readInstallLocation(), root_ / L"Ardenwick.exe");
        EXPECT_TRUE(std::filesystem::is_regular_file(root_ / L"Ardenwick.exe"));
        EXPECT_TRUE(std::filesystem::is_regular_file(root_ / L"state" / L"activation.json"));
        const std::string log = fileText(log_);
        EXPECT_NE(log.find("installer success"), std::string::npos) << log;
        EXPECT_NE(log.find("application "), std::string::npos) << log;
        EXPECT_FALSE(std::filesystem::exists(failureRecord()));
        EXPECT_EQ(attemptDirectoriesLeft(), 0U);
    }

    // First: every test is a first start, on a profile of its own that the members below use too.
    testing::TestProfile profile_{L"e2e"};
    testing::ReleaseServer server_;
    std::size_t requestsBefore_ = 0;
    std::filesystem::path base_;
    std::filesystem::path root_;
    std::filesystem::path log_;
    testing::ScopedRegistryValue installLocation_{testing::productKey(InstallRegistryKey),
                                                  InstallLocationValue};
};

TEST_F(InstallationEndToEnd, DownloadsVerifiesInstallsAndOpensTheApplication) {
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    testing::WatchedProgram program(setupProgram(), L"");
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    EXPECT_TRUE(showsInOrder(program.screens(), {text(LocalizedStrings::downloadingHeading),
                                                 text(LocalizedStrings::installingHeading),
                                                 text(LocalizedStrings::openingHeading)}))
        << wideToUtf8(program.screensText());
    expectInstalled();

    const auto requests = installerRequests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_FALSE(requests[0].header("Range"));

    const auto events = outboxEvents();
    const auto names = eventNames(events);
    for (const char* name :
         {"bootstrapper_started", "installer_download_result", "installer_verification_result",
          "installer_process_result", "bootstrapper_launch_result"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    }
    const auto launch = lastEventNamed(events, "bootstrapper_launch_result");
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->at("properties").at("result"), "success") << launch->dump();
    // Nothing held a file: no step was tried again, and no event says so.
    for (const char* name : {"installer_verification_result", "installer_process_result"}) {
        const auto stage = lastEventNamed(events, name);
        ASSERT_TRUE(stage) << name;
        for (const char* retries : {"rename_retries", "lock_retries", "start_retries"}) {
            EXPECT_FALSE(stage->at("properties").contains(retries)) << stage->dump();
        }
    }
    const auto download = lastEventNamed(events, "installer_download_result");
    ASSERT_TRUE(download);
    EXPECT_EQ(download->at("properties").at("downloaded_bytes"),
              std::filesystem::file_size(server_.payloadPath("good")))
        << download->dump();
}

TEST_F(InstallationEndToEnd, ResumesWhereTheServerDroppedTheConnection) {
    ASSERT_TRUE(server_.chooseCurrentScenario("drops"));
    testing::WatchedProgram program(setupProgram(), L"");
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    expectInstalled();

    // The server cut each of the first two responses after 1,000,000 bytes of body.
    const auto requests = installerRequests();
    ASSERT_EQ(requests.size(), 3U) << rangesOf(requests);
    EXPECT_FALSE(requests[0].header("Range"));
    EXPECT_EQ(requests[1].header("Range"), "bytes=1000000-");
    EXPECT_EQ(requests[1].header("If-Range"), "\"good-1\"");
    EXPECT_EQ(requests[2].header("Range"), "bytes=2000000-");
    EXPECT_EQ(requests[2].header("If-Range"), "\"good-1\"");
    const auto names = eventNames(outboxEvents());
    EXPECT_EQ(std::count(names.begin(), names.end(), "installer_download_retry"), 2)
        << ::testing::PrintToString(names);
}

TEST_F(InstallationEndToEnd, AnInstallerThatFailsVerificationIsNeverRun) {
    for (const char* scenario : {"unsigned", "other-signer"}) {
        SCOPED_TRACE(scenario);
        // A first start for each: no saved failure or outbox of the scenario before.
        const testing::TestProfile firstStart(L"e2e-verification");
        ASSERT_TRUE(server_.chooseCurrentScenario(scenario));
        testing::WatchedProgram program(setupProgram(), L"");
        ASSERT_TRUE(program.started());
        closeFromFailureScreen(program, text(LocalizedStrings::verificationFailedDetail));
        EXPECT_FALSE(installerRan()) << fileText(log_);
        EXPECT_TRUE(readInstallLocation().empty());
        EXPECT_TRUE(std::filesystem::exists(failureRecord()));
        EXPECT_EQ(attemptDirectoriesLeft(), 0U);
        const auto verification = lastEventNamed(outboxEvents(), "installer_verification_result");
        ASSERT_TRUE(verification);
        EXPECT_EQ(verification->at("properties").at("result"), "failure") << verification->dump();
    }
}

// Held right after the signature check (the test build Ardenwick-Setup-held.exe), the verified setup.exe
// cannot be written, renamed or deleted by another process; released, the installer that runs is that
// very file. Under Wine a delete of the locked file fails as on Windows (docs/wine-differences.md).
TEST_F(InstallationEndToEnd, NobodyCanChangeTheVerifiedInstallerBeforeItRuns) {
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    const auto ran = base_ / L"installer-that-ran.exe";
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_SELF_COPY", ran.c_str());
    testing::VerificationHold hold(L"setup.exe");
    testing::WatchedProgram program(testing::executableDirectory() / L"Ardenwick-Setup-held.exe", L"");
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(hold.held(RunTimeoutMs)) << wideToUtf8(program.screensText());

    std::filesystem::path installer;
    for (const auto& entry : std::filesystem::directory_iterator(stateDirectory())) {
        if (std::filesystem::exists(entry.path() / L"setup.exe")) {
            installer = entry.path() / L"setup.exe";
        }
    }
    ASSERT_FALSE(installer.empty()) << "no setup.exe in an attempt directory";
    const std::string verified = fileText(installer);
    EXPECT_EQ(verified, fileText(server_.payloadPath("good")));
    const testing::ChangeAttempts changes = testing::tryToChange(installer);
    EXPECT_EQ(changes.write, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "opened for writing";
    EXPECT_EQ(changes.rename, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "renamed";
    EXPECT_EQ(changes.remove, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "deleted";

    hold.release();
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    expectInstalled();
    EXPECT_EQ(fileText(ran), verified) << "the installer that ran is not the file that was verified";
}

TEST_F(InstallationEndToEnd, TheNextRunOpensOnTheSavedFailureAndTryAgainInstalls) {
    ASSERT_TRUE(server_.chooseCurrentScenario("tampered"));
    {
        testing::WatchedProgram first(setupProgram(), L"");
        ASSERT_TRUE(first.waitForScreen(text(LocalizedStrings::tryAgainLabel), RunTimeoutMs))
            << wideToUtf8(first.screensText()) << "\n  events: " << eventsText(outboxEvents());
        EXPECT_TRUE(first.screens().back().find(text(LocalizedStrings::verificationFailedDetail)) !=
                    std::wstring::npos)
            << wideToUtf8(first.screensText());
        first.closeWindow();
        EXPECT_EQ(first.waitForExit(RunTimeoutMs), 1U);
    }
    EXPECT_FALSE(installerRan()) << "a tampered installer is never run: " << fileText(log_);
    ASSERT_TRUE(std::filesystem::exists(failureRecord()));

    // The release is fixed on the server; the user starts the installer again. The window opens on the
    // saved failure and waits for the user: nothing is downloaded until "Try again".
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    testing::WatchedProgram second(setupProgram(), L"");
    ASSERT_TRUE(second.waitForScreen(text(LocalizedStrings::tryAgainLabel), RunTimeoutMs))
        << wideToUtf8(second.screensText()) << "\n  events: " << eventsText(outboxEvents());
    EXPECT_NE(second.screens().back().find(text(LocalizedStrings::failedHeading) + L" | " +
                                           text(LocalizedStrings::installationFailedDetail)),
              std::wstring::npos)
        << wideToUtf8(second.screensText());
    Sleep(1000);
    EXPECT_EQ(installerRequests().size(), 1U) << "nothing is downloaded before Try again";

    ASSERT_TRUE(second.pressButton(text(LocalizedStrings::tryAgainLabel)));
    EXPECT_EQ(second.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(second.screensText());
    EXPECT_TRUE(showsInOrder(second.screens(), {text(LocalizedStrings::installationFailedDetail),
                                                text(LocalizedStrings::downloadingHeading),
                                                text(LocalizedStrings::openingHeading)}))
        << wideToUtf8(second.screensText());
    for (const auto& screen : second.screens()) {
        if (screen.find(text(LocalizedStrings::installationFailedDetail)) != std::wstring::npos) {
            break;
        }
        EXPECT_EQ(screen.find(text(LocalizedStrings::preparingHeading)), std::wstring::npos)
            << "no attempt starts before the saved failure is shown:" << wideToUtf8(second.screensText());
    }
    expectInstalled();
    EXPECT_EQ(installerRequests().size(), 2U);
}

TEST_F(InstallationEndToEnd, AFailingInstallerIsReportedAndItsFailureKept) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"failure");
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    testing::WatchedProgram program(setupProgram(), L"");
    closeFromFailureScreen(program, text(LocalizedStrings::installationFailedDetail));
    EXPECT_NE(fileText(log_).find("installer failure"), std::string::npos) << fileText(log_);
    EXPECT_EQ(fileText(log_).find("application "), std::string::npos)
        << "nothing is launched after a failure";
    EXPECT_TRUE(std::filesystem::exists(failureRecord()));
    const auto result = lastEventNamed(outboxEvents(), "installer_process_result");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->at("properties").at("result"), "failure") << result->dump();
}

// The application starts but never reports ready: after the shipped wait of 120 s the window says it is
// installed and offers to open it.
TEST_F(InstallationEndToEnd, AnApplicationThatNeverReportsReadyEndsOnOpen) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", L"never-ready");
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    testing::WatchedProgram program(setupProgram(), L"");
    EXPECT_TRUE(program.waitForScreen(text(LocalizedStrings::installedOpenDetail), 200000))
        << wideToUtf8(program.screensText());
    EXPECT_TRUE(program.waitForScreen(text(LocalizedStrings::openLabel), 10000))
        << wideToUtf8(program.screensText());
    EXPECT_EQ(readInstallLocation(), root_ / L"Ardenwick.exe");
    program.closeWindow();
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 1U);
    const auto record = nlohmann::json::parse(fileText(failureRecord()), nullptr, false);
    EXPECT_EQ(record.value("launchFailed", false), true) << fileText(failureRecord());
    const auto launch = lastEventNamed(outboxEvents(), "bootstrapper_launch_result");
    ASSERT_TRUE(launch);
    EXPECT_NE(launch->at("properties").at("result"), "success") << launch->dump();
}

TEST_F(InstallationEndToEnd, AChildLeftRunningByTheInstallerIsWaitedFor) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"child-outlives");
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    testing::WatchedProgram program(setupProgram(), L"");
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    // The child ends 1.5 s after the installer; the launch comes only after it.
    const std::string log = fileText(log_);
    const auto childFinished = log.find("installer child finished");
    const auto launched = log.find("launcher ");
    ASSERT_NE(childFinished, std::string::npos) << log;
    ASSERT_NE(launched, std::string::npos) << log;
    EXPECT_LT(childFinished, launched) << log;
}

// Ended from Task Manager while its full installer runs, a run leaves that installer running (nothing
// kills the job's processes). The next run, started at once, waits for it as "Installing" instead of
// downloading and starting a second installer beside it, leaves its records alone, and then finds the
// application installed.
TEST_F(InstallationEndToEnd, ARunKilledWhileItsInstallerRunsIsFollowedByOneInstallerAtATime) {
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"held");
    testing::InstallerRelease release;
    ASSERT_TRUE(release.created());
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    const auto logShows = [this](const std::string& line, std::size_t times) {
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (occurrences(fileText(log_), line) < times && GetTickCount64() < deadline) {
            Sleep(50);
        }
        return occurrences(fileText(log_), line) >= times;
    };
    {
        testing::WatchedProgram killed(setupProgram(), L"");
        ASSERT_TRUE(killed.started());
        ASSERT_TRUE(logShows("installer held cwd=", 1)) << wideToUtf8(killed.screensText()) << fileText(log_);
        UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, killed.processId()));
        ASSERT_TRUE(process && TerminateProcess(process.get(), 9));
        EXPECT_EQ(killed.waitForExit(30000), 9U);
    }

    testing::WatchedProgram next(setupProgram(), L"");
    ASSERT_TRUE(next.started());
    EXPECT_TRUE(next.waitForScreen(text(LocalizedStrings::installingHeading), RunTimeoutMs))
        << wideToUtf8(next.screensText());
    if (showsInOrder(next.screens(), {text(LocalizedStrings::downloadingHeading)})) {
        // A run that did not wait starts its own installer now: let it start beside the first one
        // before either goes on, so the log shows both.
        (void)logShows("installer held cwd=", 2);
    }
    release.release();
    if (next.waitForScreen(text(LocalizedStrings::alreadyInstalledHeading), RunTimeoutMs)) {
        EXPECT_TRUE(next.pressButton(text(LocalizedStrings::openLabel)));
    }
    EXPECT_EQ(next.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(next.screensText());
    EXPECT_FALSE(showsInOrder(next.screens(), {text(LocalizedStrings::downloadingHeading)}))
        << "the next run downloaded while the first installer ran: " << wideToUtf8(next.screensText());

    // One installer at a time: the log never shows a start while another has not ended.
    const std::string log = fileText(log_);
    int running = 0;
    int most = 0;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = std::min(log.find('\n', at), log.size());
        const std::string line = log.substr(at, end - at);
        running += line.starts_with("installer held cwd=") ? 1 : 0;
        running -= line.starts_with("installer held ended") ? 1 : 0;
        most = std::max(most, running);
        at = end + 1;
    }
    EXPECT_EQ(most, 1) << log;
    EXPECT_EQ(occurrences(log, "installer held cwd="), 1U) << log;
    EXPECT_EQ(occurrences(log, "installer held records identity=1 context=1"),
              occurrences(log, "installer held records "))
        << "an installer's records were removed while it ran: " << log;
    EXPECT_EQ(installerRequests().size(), 1U);
    const auto preparation = lastEventNamed(outboxEvents(), "bootstrapper_preparation_result");
    ASSERT_TRUE(preparation);
    EXPECT_EQ(preparation->at("properties").at("operation"), "existing_installation") << preparation->dump();
    EXPECT_GE(preparation->at("properties").value("earlier_installer_wait_ms", -1), 0) << preparation->dump();
    EXPECT_EQ(attemptDirectoriesLeft(), 0U);
}

// A virus scanner opens the finished download (read, sharing read and write, not delete) and holds it
// past the end of the transfer; the move to setup.exe is tried again until it lets go. The same run
// finds the folder of a run that died during its download, and the folder of an attempt that is still
// alive (held as an attempt holds its own): the first is removed, the second left without a wait.
TEST_F(InstallationEndToEnd, AScannerHoldingTheDownloadIsWaitedOutAndDeadAttemptFoldersAreRemoved) {
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    const auto dead = stateDirectory() / L"0F3A9C2E-7B41-4D8A-9E10-ABCDEF012345";
    const auto live = stateDirectory() / L"5D2C8B10-3E4F-4A6B-8C7D-0123456789AB";
    // Not the live folder in lower case (the same folder on Windows): held by nobody, only its name keeps it.
    const auto lowerCase = stateDirectory() / L"9b8e7f60-1a2b-4c3d-8e9f-a0b1c2d3e4f5";
    const auto maintenanceRecord = stateDirectory() / L"7A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9.ini";
    const auto unknownFile = stateDirectory() / L"notes.txt";
    std::filesystem::create_directories(dead / L"nested");
    {
        std::ofstream partial(dead / L"setup.partial", std::ios::binary);
        partial.seekp(20 * 1024 * 1024 - 1);
        partial.put('x');
    }
    testing::writeFile(dead / L"nested" / L"result.ini", "[installation]\r\n");
    testing::writeFile(live / L"setup.partial", "live");
    testing::writeFile(lowerCase / L"keep", "keep");
    testing::writeFile(maintenanceRecord, "[installation]\r\n");
    testing::writeFile(unknownFile, "notes");

    ScannerStandIn attemptInUse(L"folder " + testing::quoteArgument(live.wstring()),
                                L"Local\\ArdenwickTest.LiveAttempt");
    ASSERT_TRUE(attemptInUse.holds(30000));
    ScannerStandIn scanner(holdDownloadArguments(L"3000"), L"Local\\ArdenwickTest.Scanner");
    ASSERT_TRUE(scanner.watches(30000));

    testing::WatchedProgram program(setupProgram(), L"");
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    EXPECT_TRUE(scanner.holds(0)) << "the scanner never opened the download";
    EXPECT_EQ(scanner.exitCode(30000), 0U);
    EXPECT_EQ(occurrences(fileText(log_), "installer success"), 1U) << fileText(log_);
    const auto verification = lastEventNamed(outboxEvents(), "installer_verification_result");
    ASSERT_TRUE(verification);
    EXPECT_EQ(verification->at("properties").at("result"), "success") << verification->dump();
    EXPECT_GE(verification->at("properties").value("rename_retries", 0), 1) << verification->dump();

    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_EQ(fileText(live / L"setup.partial"), "live");
    EXPECT_EQ(fileText(lowerCase / L"keep"), "keep");
    EXPECT_EQ(fileText(maintenanceRecord), "[installation]\r\n");
    EXPECT_EQ(fileText(unknownFile), "notes");

    // What is left is what this test planted; the run's own attempt folder is gone as ever.
    TerminateProcess(attemptInUse.process.process.get(), 9);
    WaitForSingleObject(attemptInUse.process.process.get(), 10000);
    for (const auto& planted : {live, lowerCase, maintenanceRecord, unknownFile}) {
        std::filesystem::remove_all(planted);
    }
    expectInstalled();
}

// Held past the limit of the retries, the move fails exactly as it did without them.
TEST_F(InstallationEndToEnd, AScannerHoldingTheDownloadPastTheLimitFailsTheVerification) {
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    ScannerStandIn scanner(holdDownloadArguments(L"ended"), L"Local\\ArdenwickTest.LongScanner");
    ASSERT_TRUE(scanner.watches(30000));
    testing::WatchedProgram program(setupProgram(), L"");
    closeFromFailureScreen(program, text(LocalizedStrings::verificationFailedDetail));
    EXPECT_TRUE(scanner.holds(0)) << "the scanner never opened the download";
    EXPECT_FALSE(installerRan()) << fileText(log_);
    EXPECT_TRUE(std::filesystem::exists(failureRecord()));
    const auto verification = lastEventNamed(outboxEvents(), "installer_verification_result");
    ASSERT_TRUE(verification);
    const auto& properties = verification->at("properties");
    EXPECT_EQ(properties.at("result"), "failure") << verification->dump();
    EXPECT_EQ(properties.at("operation"), "installer_file_rename") << verification->dump();
    EXPECT_EQ(properties.at("win32_error"), 32) << verification->dump();
    EXPECT_GE(properties.value("rename_retries", 0), 1) << verification->dump();
    EXPECT_FALSE(scanner.exitCode(0)) << "the scanner let go before the attempt gave up";
}

// A scanner that lets nobody else read the download while it looks at it does not stop the move to
// setup.exe, but the lock on the verified installer (read, sharing read only) is tried again until it
// lets go.
TEST_F(InstallationEndToEnd, AScannerKeepingOthersFromReadingTheInstallerIsWaitedOutByItsLock) {
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    ScannerStandIn scanner(holdDownloadArguments(L"3000", L"unreadable"),
                           L"Local\\ArdenwickTest.LockScanner");
    ASSERT_TRUE(scanner.watches(30000));
    testing::WatchedProgram program(setupProgram(), L"");
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    EXPECT_TRUE(scanner.holds(0)) << "the scanner never opened the download";
    EXPECT_EQ(scanner.exitCode(30000), 0U);
    const auto verification = lastEventNamed(outboxEvents(), "installer_verification_result");
    ASSERT_TRUE(verification);
    const auto& properties = verification->at("properties");
    EXPECT_EQ(properties.at("result"), "success") << verification->dump();
    EXPECT_GE(properties.value("lock_retries", 0), 1) << verification->dump();
    EXPECT_FALSE(properties.contains("rename_retries")) << verification->dump();
    expectInstalled();
}

// A user profile whose name has letters outside the ANSI code page: the full installer writes the result
// record with the profile functions, and the path in it must come back exactly. The profile is the
// test's own, under the run's temporary folder, so nothing needs administrator rights or the session's
// shell folders.
TEST_F(InstallationEndToEnd, AProfileOutsideTheAnsiCodePageInstallsAndOpens) {
    const testing::TestProfile profile(L"Zo\u00EB \u5F20\u4F1F");
    ASSERT_NE(profile.root().wstring().find(L"Zo\u00EB \u5F20\u4F1F"), std::wstring::npos);
    ASSERT_EQ(localAppData(), profile.localAppData());
    root_ = profile.localAppData() / L"Programs" / L"Ardenwick";
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
    ASSERT_TRUE(server_.chooseCurrentScenario("install"));

    testing::WatchedProgram program(setupProgram(), L"");
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    EXPECT_TRUE(showsInOrder(program.screens(), {text(LocalizedStrings::installingHeading),
                                                 text(LocalizedStrings::openingHeading)}))
        << wideToUtf8(program.screensText());
    // The result record named the installed directory exactly: the identity comparison passed.
    const auto result = lastEventNamed(outboxEvents(), "installer_process_result");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->at("properties").at("result"), "success") << result->dump();
    EXPECT_EQ(result->at("properties").at("error_code"), "none") << result->dump();
    // A test build's events go to the outbox of the "test" project key, never the production one's.
    const auto analytics = localAppData() / L"Ardenwick" / L"Analytics";
    for (const auto& [environment, expected] : {std::pair{"test", true}, std::pair{"production", false}}) {
        const std::string key = DefaultConfigurationProvider(environment).configuration().analyticsProjectKey;
        EXPECT_EQ(std::filesystem::exists(analytics / utf8ToWide(outboxFileName(key))), expected)
            << environment;
    }
    expectInstalled();
    testing::stopStandInApplication(root_);
}

/// The rootpage and the page size of the outbox's uuid index, which only an append reads.
std::pair<std::int64_t, std::int64_t> eventsIndexPage(const std::filesystem::path& outbox) {
    sqlite3* db = nullptr;
    std::pair<std::int64_t, std::int64_t> page{0, 0};
    if (sqlite3_open16(outbox.u16string().c_str(), &db) == SQLITE_OK) {
        for (auto [sql, value] :
             {std::pair{"SELECT rootpage FROM sqlite_master WHERE name='sqlite_autoindex_events_1'",
                        &page.first},
              std::pair{"PRAGMA page_size", &page.second}}) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
                sqlite3_step(statement) == SQLITE_ROW) {
                *value = sqlite3_column_int64(statement, 0);
            }
            sqlite3_finalize(statement);
        }
    }
    sqlite3_close(db);
    return page;
}

/// Another process of the product holding the outbox's write transaction (outbox_holder.exe) until
/// released.
class OutboxHolder {
public:
    explicit OutboxHolder(const std::filesystem::path& outbox)
        : ready_(CreateEventW(nullptr, TRUE, FALSE, L"Local\\Ardenwick.Test.OutboxHeld")),
          release_(CreateEventW(nullptr, TRUE, FALSE, L"Local\\Ardenwick.Test.OutboxRelease")),
          process_(testing::startProgram(
              testing::executableDirectory() / L"outbox_holder.exe",
              testing::quoteArgument(outbox.wstring()) +
                  L" Local\\Ardenwick.Test.OutboxHeld Local\\Ardenwick.Test.OutboxRelease")) {}
    ~OutboxHolder() { (void)release(); }
    [[nodiscard]] bool holds() const {
        const HANDLE waits[] = {ready_.get(), process_.process.get()};
        return process_.process && WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
    }
    /// Lets the transaction commit; the holder's exit code (0 when it committed).
    std::optional<DWORD> release() {
        SetEvent(release_.get());
        DWORD code = 0;
        if (!process_.process || WaitForSingleObject(process_.process.get(), 30000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_.process.get(), &code)) {
            return std::nullopt;
        }
        return code;
    }

private:
    UniqueKernelHandle ready_;
    UniqueKernelHandle release_;
    testing::StartedProcess process_;
};

// The shared outbox as a user's PC may have it: damaged where only an append looks (a power loss in the
// middle of a page), and held in a write transaction by another process of the product while the
// installer starts. The run is not held up, and every one of its events is kept: in memory while the file
// is busy, then in a fresh outbox that takes the place of the damaged file.
TEST_F(InstallationEndToEnd, ABusyThenDamagedOutboxKeepsEveryEventOfTheRun) {
    const auto outbox =
        localAppData() / L"Ardenwick" / L"Analytics" /
        utf8ToWide(outboxFileName(DefaultConfigurationProvider("test").configuration().analyticsProjectKey));
    { InstallationOutbox create(outbox); }
    const auto [page, pageSize] = eventsIndexPage(outbox);
    ASSERT_GE(page, 2);
    {
        std::fstream file(outbox, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp((page - 1) * pageSize);
        const std::string noise(static_cast<std::size_t>(pageSize), '\xff');
        ASSERT_TRUE(file.write(noise.data(), static_cast<std::streamsize>(noise.size())));
    }
    OutboxHolder holder(outbox);
    ASSERT_TRUE(holder.holds()) << "outbox_holder.exe did not take the write lock";

    ASSERT_TRUE(server_.chooseCurrentScenario("install"));
    testing::WatchedProgram program(setupProgram(), L"");
    ASSERT_TRUE(program.started());
    // The outbox was opened (and found busy) at start-up, before the window showed the download.
    EXPECT_TRUE(program.waitForScreen(text(LocalizedStrings::downloadingHeading), RunTimeoutMs))
        << wideToUtf8(program.screensText());
    EXPECT_EQ(holder.release(), 0U);
    EXPECT_EQ(program.waitForExit(RunTimeoutMs), 0U) << wideToUtf8(program.screensText());
    expectInstalled();

    EXPECT_TRUE(std::filesystem::is_regular_file(outbox.wstring() + L".corrupt"));
    const auto names = eventNames(outboxEvents());
    std::string list;
    for (const auto& name : names) {
        list += name + " ";
    }
    ASSERT_EQ(names.size(), 11U) << list;
    EXPECT_EQ(names.front(), "bootstrapper_started") << list;
    EXPECT_EQ(names.back(), "bootstrapper_launch_result") << list;
    for (const char* name :
         {"installer_download_started", "installer_download_result", "installer_verification_result",
          "installer_process_started", "installer_process_result"}) {
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name << ": " << list;
    }
}

} // namespace
} // namespace ardenwick
