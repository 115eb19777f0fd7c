#include "common/file_identity.h"
#include "installation/install_location.h"
#include "installation/installed_state.h"
#include "launch/application_probe.h"
#include "launch/launcher_start.h"
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/test_files.h"
#include "support/test_profile.h"
#include "support/wine_host.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

namespace ardenwick {
namespace {

using testing::fileText;
using testing::writeFile;

BOOL CALLBACK closeErrorBoxOfThisProcess(HWND window, LPARAM found) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (processId == GetCurrentProcessId() && std::wstring(className) == L"#32770" &&
        IsWindowVisible(window)) {
        *reinterpret_cast<bool*>(found) = true;
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

// The launch runs on the installation worker: a launcher that cannot be started is reported, never shown
// as a modal box that would hold the worker until someone clicks it.
TEST(LauncherStart, AFailedStartShowsNoErrorBox) {
    const std::filesystem::path missing = std::filesystem::temp_directory_path() / L"ardenwick-no-launcher";
    std::filesystem::remove_all(missing);
    std::atomic<bool> done = false;
    LauncherStart started;
    std::jthread worker([&] {
        started = startLauncher(missing / L"Ardenwick.exe", L"--ardenwick-installation-startup",
                                std::filesystem::temp_directory_path());
        done = true;
    });
    bool errorBoxShown = false;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while (!done && GetTickCount64() < deadline) {
        EnumWindows(closeErrorBoxOfThisProcess, reinterpret_cast<LPARAM>(&errorBoxShown));
        Sleep(50);
    }
    worker.join();
    EXPECT_FALSE(errorBoxShown);
    EXPECT_FALSE(started.process);
    EXPECT_TRUE(started.error == ERROR_FILE_NOT_FOUND || started.error == ERROR_PATH_NOT_FOUND)
        << started.error;
}

// Runs one of the host's own commands under Wine, for what only the host can make. A host process has no
// handle to wait on, so the caller polls for the result.
void runHostCommand(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info))
        << GetLastError();
    if (info.hThread) {
        CloseHandle(info.hThread);
    }
    if (info.hProcess) {
        CloseHandle(info.hProcess);
    }
}

std::wstring unixNameOf(const std::filesystem::path& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(address));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) {
        return {};
    }
    const std::wstring wide =
        std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name))).wstring();
    HeapFree(GetProcessHeap(), 0, name);
    return wide;
}

bool waitUntil(const std::function<bool()>& condition) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (!condition()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

// A second drive letter for a folder, as SUBST makes one: another spelling of every file below it.
// It lasts for the test only (on Windows, to the end of the logon session if the test is killed).
class DriveAlias {
public:
    explicit DriveAlias(const std::filesystem::path& folder) : folder_(folder) {
        const DWORD used = GetLogicalDrives();
        for (wchar_t letter = L'Y'; letter > L'D'; --letter) {
            if ((used & (1U << (letter - L'A'))) == 0) {
                drive_ = std::wstring(1, letter) + L":";
                break;
            }
        }
        if (drive_.empty()) {
            return;
        }
        if (testing::runningUnderWine()) {
            // A drive letter is a link in the prefix's "dosdevices" folder; Wine's DefineDosDeviceW does
            // not reach file names.
            const std::wstring devices = unixNameOf(L"C:\\");
            if (devices.size() < 3 || devices.substr(devices.size() - 3) != L"c:/") {
                drive_.clear();
                return;
            }
            link_ = devices.substr(0, devices.size() - 3) + static_cast<wchar_t>(towlower(drive_[0])) + L":";
            runHostCommand(L"/bin/ln -s " + testing::quoteArgument(unixNameOf(folder)) + L" " +
                           testing::quoteArgument(link_));
        } else if (!DefineDosDeviceW(0, drive_.c_str(), folder.c_str())) {
            drive_.clear();
            return;
        }
        if (!waitUntil(
                [&] { return GetFileAttributesW((drive_ + L"\\").c_str()) != INVALID_FILE_ATTRIBUTES; })) {
            drive_.clear();
        }
    }
    ~DriveAlias() {
        if (drive_.empty()) {
            return;
        }
        if (!link_.empty()) {
            runHostCommand(L"/bin/rm -f " + testing::quoteArgument(link_));
            waitUntil(
                [&] { return GetFileAttributesW((drive_ + L"\\").c_str()) == INVALID_FILE_ATTRIBUTES; });
        } else {
            DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive_.c_str(),
                             folder_.c_str());
        }
    }
    DriveAlias(const DriveAlias&) = delete;
    DriveAlias& operator=(const DriveAlias&) = delete;

    /// Empty when no drive letter could be made.
    [[nodiscard]] std::filesystem::path root() const {
        return drive_.empty() ? std::filesystem::path() : std::filesystem::path(drive_ + L"\\");
    }

private:
    std::filesystem::path folder_;
    std::wstring drive_;
    std::wstring link_;
};

std::wstring imageOf(std::uint32_t processId) {
    const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    std::wstring image(32768, L'\0');
    auto size = static_cast<DWORD>(image.size());
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) {
        return {};
    }
    image.resize(size);
    return image;
}

// Installs the signed stand-in application tree with the stand-in full installer into a fresh root.
class InstalledApplication : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / L"ardenwick-launch" / L"Ardenwick";
        std::filesystem::remove_all(root_.parent_path());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", root_.c_str());
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", L"success");
        ASSERT_EQ(
            testing::runAndWait(testing::executableDirectory() / L"Ardenwick-FullSetup.exe", L"/S", 60000),
            0U);
        launcher_ = root_ / L"Ardenwick.exe";
        activation_ = root_ / L"state" / L"activation.json";
        original_ = fileText(activation_);
    }
    void TearDown() override {
        stopApplication();
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_ROOT", nullptr);
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_INSTALLER", nullptr);
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", nullptr);
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_APP_PID", nullptr);
    }

    // The launcher starts the application from its own folder, so a launcher started through another
    // spelling of the root runs the application under that spelling.
    void startLauncher(const wchar_t* scenario, const std::filesystem::path& root = {}) {
        const std::filesystem::path from = root.empty() ? root_ : root;
        const std::filesystem::path launcher = from / L"Ardenwick.exe";
        SetEnvironmentVariableW(L"ARDENWICK_STANDIN_LAUNCHER", scenario);
        std::wstring commandLine = L"\"" + launcher.wstring() + L"\" --ardenwick-installation-startup";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(CreateProcessW(launcher.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   from.c_str(), &startup, &info));
        CloseHandle(info.hThread);
        launcherProcess_ = info.hProcess;
    }

    // Polls as the launch does, for at most 30 s.
    bool becomesReady(std::string_view version, std::uint32_t* pid, DWORD waitMs = 30000) {
        const ULONGLONG deadline = GetTickCount64() + waitMs;
        while (GetTickCount64() < deadline) {
            if (isApplicationReady(root_, version, pid)) {
                return true;
            }
            Sleep(100);
        }
        return false;
    }

    void stopApplication() {
        const auto pidFile = root_ / L"state" / L"standin-application.pid";
        // On a busy machine the application may still be starting: wait for it, or it would outlive the test.
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (launcherProcess_ && !std::filesystem::exists(pidFile) &&
               WaitForSingleObject(launcherProcess_, 0) == WAIT_TIMEOUT && GetTickCount64() < deadline) {
            Sleep(50);
        }
        testing::stopStandInApplication(root_);
        if (launcherProcess_) {
            WaitForSingleObject(launcherProcess_, 10000);
            CloseHandle(launcherProcess_);
            launcherProcess_ = nullptr;
        }
    }

    std::filesystem::path root_;
    std::filesystem::path launcher_;
    std::filesystem::path activation_;
    std::string original_;
    HANDLE launcherProcess_ = nullptr;
    testing::ScopedRegistryValue installLocation_{testing::productKey(InstallRegistryKey),
                                                  InstallLocationValue};
};

TEST_F(InstalledApplication, InstalledStateAcceptsOnlyAGenuineActiveVersion) {
    EXPECT_TRUE(validateInstalledState(launcher_, ""));
    EXPECT_TRUE(validateInstalledState(launcher_, "2.4.0"));
    EXPECT_FALSE(validateInstalledState(launcher_, "2.4.1"));
    EXPECT_FALSE(validateInstalledState(L"", ""));
    EXPECT_FALSE(validateInstalledState(L"Ardenwick\\Ardenwick.exe", ""));

    writeFile(activation_, R"({"schemaVersion":2.0,"activeVersion":"2.4.0"})");
    EXPECT_TRUE(validateInstalledState(launcher_, "")) << "2.0 equals 2";
    for (const char* invalid :
         {R"({"schemaVersion":1,"activeVersion":"2.4.0"})",
          R"({"schemaVersion":"2","activeVersion":"2.4.0"})", R"({"activeVersion":"2.4.0"})",
          R"({"schemaVersion":2,"activeVersion":"02.4.0"})", R"({"schemaVersion":2,"activeVersion":2})",
          "{\"schemaVersion\":2,/*x*/\"activeVersion\":\"2.4.0\"}", "not json"}) {
        writeFile(activation_, invalid);
        EXPECT_FALSE(validateInstalledState(launcher_, "")) << invalid;
    }
    std::string padded = R"({"schemaVersion":2,"activeVersion":"2.4.0"})";
    padded += std::string(65537 - padded.size(), ' ');
    writeFile(activation_, padded);
    EXPECT_FALSE(validateInstalledState(launcher_, "")) << "65537 bytes";
    padded.pop_back();
    writeFile(activation_, padded);
    EXPECT_TRUE(validateInstalledState(launcher_, "")) << "65536 bytes";

    // An application executable whose file version is not the active version's.
    writeFile(activation_, R"({"schemaVersion":2,"activeVersion":"2.4.1"})");
    std::filesystem::create_directories(root_ / L"versions" / L"2.4.1" / L"app");
    std::filesystem::copy_file(root_ / L"versions" / L"2.4.0" / L"app" / L"Ardenwick.exe",
                               root_ / L"versions" / L"2.4.1" / L"app" / L"Ardenwick.exe");
    EXPECT_FALSE(validateInstalledState(launcher_, ""));
    writeFile(activation_, original_);

    // A directory where the executable should be.
    std::filesystem::create_directories(root_ / L"versions" / L"2.4.2" / L"app" / L"Ardenwick.exe");
    writeFile(activation_, R"({"schemaVersion":2,"activeVersion":"2.4.2"})");
    EXPECT_FALSE(validateInstalledState(launcher_, ""));
    writeFile(activation_, original_);

    // An unsigned launcher.
    std::filesystem::copy_file(testing::executableDirectory() / L"process_tree_helper.exe", launcher_,
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_FALSE(validateInstalledState(launcher_, ""));
}

TEST_F(InstalledApplication, JobProofFindsTheExpectedExecutableInTheRuntimeJob) {
    startLauncher(L"ready");
    std::uint32_t pid = 12345;
    EXPECT_TRUE(becomesReady("2.4.0", &pid));
    EXPECT_EQ(pid, 0U) << "the job's process list reports no process id";
    EXPECT_FALSE(isApplicationReady(root_, "2.4.1", &pid)) << "another expected version";

    // The same run state, but recovery.json grown past its bound.
    const std::string recovery = fileText(root_ / L"state" / L"recovery.json");
    writeFile(root_ / L"state" / L"recovery.json", recovery + std::string(65537 - recovery.size(), ' '));
    EXPECT_FALSE(isApplicationReady(root_, "2.4.0", nullptr));
    writeFile(root_ / L"state" / L"recovery.json", recovery);
    EXPECT_TRUE(isApplicationReady(root_, "2.4.0", nullptr));
}

// The tests end the stand-in application through the process id it leaves in its file. By then it may
// have ended on its own and its id belong to another program, which must be left running.
TEST_F(InstalledApplication, EndingTheStandInEndsOnlyTheProcessThatRunsFromItsRoot) {
    startLauncher(L"ready");
    ASSERT_TRUE(becomesReady("2.4.0", nullptr));
    const auto pidFile = root_ / L"state" / L"standin-application.pid";
    const std::string applicationPid = fileText(pidFile);
    const UniqueKernelHandle application(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(applicationPid)));
    ASSERT_TRUE(application);

    const auto marker = root_.parent_path() / L"other-program.txt";
    const testing::StartedProcess other =
        testing::startProgram(testing::executableDirectory() / L"process_tree_helper.exe",
                              L"grandchild " + testing::quoteArgument(marker.wstring()) + L" 30000");
    ASSERT_TRUE(other.process);
    writeFile(pidFile, std::to_string(other.processId));
    testing::stopStandInApplication(root_);
    EXPECT_EQ(WaitForSingleObject(other.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "another program was ended";
    TerminateProcess(other.process.get(), 9);
    WaitForSingleObject(other.process.get(), 10000);

    writeFile(pidFile, applicationPid);
    testing::stopStandInApplication(root_);
    EXPECT_EQ(WaitForSingleObject(application.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the application still runs";
}

TEST_F(InstalledApplication, ApplicationOutsideItsJobIsNeverReady) {
    startLauncher(L"outside-job");
    EXPECT_FALSE(becomesReady("2.4.0", nullptr, 4000));
    EXPECT_TRUE(std::filesystem::exists(root_ / L"state" / L"recovery.json")) << "it did claim to be ready";
}

// The proof through "applicationPid": the process it names must run the expected executable inside the
// runtime job; an application that claims readiness from outside it is not the one the launcher started.
TEST_F(InstalledApplication, AnApplicationPidOutsideTheRuntimeJobIsNeverReady) {
    if (testing::runningUnderWine()) {
        // docs/wine-differences.md: with limited query rights the call fails with 5, so no proof passes.
        const char* reason = "Windows only: Wine's IsProcessInJob refuses a handle with limited query rights";
        RecordProperty("skip_reason", reason);
        GTEST_SKIP() << reason;
    }
    SetEnvironmentVariableW(L"ARDENWICK_STANDIN_APP_PID", L"1");
    startLauncher(L"ready");
    std::uint32_t pid = 0;
    EXPECT_TRUE(becomesReady("2.4.0", &pid));
    const auto pidFile = root_ / L"state" / L"standin-application.pid";
    ASSERT_TRUE(std::filesystem::exists(pidFile));
    EXPECT_EQ(pid, std::stoul(fileText(pidFile))) << "the process the record names";
    stopApplication();
    // So that what follows is the next application's own.
    std::filesystem::remove(pidFile);
    std::filesystem::remove(root_ / L"state" / L"recovery.json");

    startLauncher(L"outside-job");
    EXPECT_FALSE(becomesReady("2.4.0", nullptr, 4000));
    EXPECT_NE(fileText(root_ / L"state" / L"recovery.json").find("applicationPid"), std::string::npos)
        << "it did name itself";
}

TEST_F(InstalledApplication, WindowProofBelowProtocolThreeReportsTheProcess) {
    startLauncher(L"protocol2");
    std::uint32_t pid = 0;
    ASSERT_TRUE(becomesReady("2.4.0", &pid));
    EXPECT_NE(pid, 0U);
    EXPECT_TRUE(isApplicationProcess(pid, root_ / L"versions" / L"2.4.0" / L"app" / L"ARDENWICK.EXE"))
        << "the image path is compared without letter case";
    EXPECT_FALSE(isApplicationProcess(pid, launcher_));
}

// "InstallLocation" may spell the root through a junction, link, 8.3 name or SUBST drive, and the loader
// names the image in its own way (Wine as it was started, Windows by the volume's own drive letter): a
// ready application is proven through either spelling. Equal text could match at most one of the two.
TEST_F(InstalledApplication, ReadinessIsProvenThroughAnotherSpellingOfTheExecutable) {
    const DriveAlias alias(root_.parent_path());
    ASSERT_FALSE(alias.root().empty()) << "no second drive letter for " << root_.parent_path();
    const std::filesystem::path aliasRoot = alias.root() / root_.filename();
    ASSERT_TRUE(std::filesystem::exists(aliasRoot / L"Ardenwick.exe"));
    const std::filesystem::path executable = root_ / L"versions" / L"2.4.0" / L"app" / L"Ardenwick.exe";
    const std::filesystem::path aliasExecutable =
        aliasRoot / L"versions" / L"2.4.0" / L"app" / L"Ardenwick.exe";
    const auto pidFile = root_ / L"state" / L"standin-application.pid";
    // The kit's stop finds the application by the root's own spelling: end the one started through the
    // alias here, whatever the test's outcome.
    const auto endApplication = [&](void*) {
        waitUntil([&] { return std::filesystem::exists(pidFile); });
        const std::string text = fileText(pidFile);
        const DWORD pid = text.empty() ? 0 : std::stoul(text);
        const UniqueKernelHandle application(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        const std::wstring image = imageOf(pid);
        if (application && !image.empty() && namesSameFile(image, executable)) {
            TerminateProcess(application.get(), 0);
            WaitForSingleObject(application.get(), 10000);
        }
    };
    const std::unique_ptr<void, decltype(endApplication)> ending(this, endApplication);

    startLauncher(L"ready", aliasRoot);
    EXPECT_TRUE(becomesReady("2.4.0", nullptr)) << "through the root's own spelling";
    EXPECT_TRUE(isApplicationReady(aliasRoot, "2.4.0", nullptr)) << "through the alias";
    ASSERT_TRUE(std::filesystem::exists(pidFile));
    const auto pid = static_cast<std::uint32_t>(std::stoul(fileText(pidFile)));
    EXPECT_TRUE(isApplicationProcess(pid, executable)) << std::filesystem::path(imageOf(pid));
    EXPECT_TRUE(isApplicationProcess(pid, aliasExecutable)) << std::filesystem::path(imageOf(pid));
}

// Where the file system tells letter case apart (as Wine's host does; Windows in a case-sensitive folder),
// "ARDENWICK.EXE" beside the running "Ardenwick.exe" is another file: text equal but for case proves
// nothing. Where case is folded, both names open the running file and the proof holds.
TEST_F(InstalledApplication, TheImageIsProvenByItsFileNotByItsPathText) {
    startLauncher(L"ready");
    ASSERT_TRUE(becomesReady("2.4.0", nullptr));
    const auto pid =
        static_cast<std::uint32_t>(std::stoul(fileText(root_ / L"state" / L"standin-application.pid")));
    const auto app = root_ / L"versions" / L"2.4.0" / L"app";
    const auto namesOfTheExecutable = [&] {
        int names = 0;
        for (const auto& entry : std::filesystem::directory_iterator(app)) {
            names += CompareStringOrdinal(entry.path().filename().c_str(), -1, L"Ardenwick.exe", -1, TRUE) ==
                     CSTR_EQUAL;
        }
        return names;
    };
    const auto other = testing::executableDirectory() / L"process_tree_helper.exe";
    if (testing::runningUnderWine()) {
        // Wine finds "Ardenwick.exe" for any letter case, so only the host can make the other file.
        runHostCommand(L"/bin/cp " + testing::quoteArgument(unixNameOf(other)) + L" " +
                       testing::quoteArgument(unixNameOf(app) + L"/ARDENWICK.EXE"));
        ASSERT_TRUE(waitUntil([&] { return namesOfTheExecutable() == 2; }));
    } else {
        std::filesystem::copy_file(other, app / L"ARDENWICK.EXE",
                                   std::filesystem::copy_options::skip_existing);
    }
    const int names = namesOfTheExecutable();
    ASSERT_TRUE(names == 1 || names == 2) << names;
    const bool caseFolded = names == 1;
    EXPECT_EQ(isApplicationProcess(pid, app / L"ARDENWICK.EXE"), caseFolded)
        << (caseFolded ? "one file under both names" : "another file whose name differs only in case");
    EXPECT_EQ(isApplicationReady(root_, "2.4.0", nullptr), true) << "the running file itself";
    stopApplication();
}

} // namespace
} // namespace ardenwick
