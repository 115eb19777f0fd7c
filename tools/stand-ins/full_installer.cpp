// Stand-in for the full NSIS installer. It accepts the installer's switches, installs the stand-in
// launcher and application (carried as resources) under one root, stores "InstallLocation", and writes
// the result record. ARDENWICK_STANDIN_INSTALLER chooses an outcome:
//   success (default), failure, cancelled, no-record, wrong-attempt, nonzero-success, no-install,
//   child-outlives, success-capitalized, other-directory, broken-install, tamper-self (tries to replace,
//   rename and delete its own file and to move its directory away, logs what each gave, then succeeds),
//   held (waits until the test sets the event "Local\ArdenwickTest.InstallerRelease", logs whether its
//   identity and context records are still there, succeeds and logs "installer held ended")
// ARDENWICK_STANDIN_SELF_COPY, when set, names a file where it first copies its own bytes, so a test can
// compare the installer that ran with the one that was verified.
#include "stand_in_support.h"

#include "common/user_state.h"

#include <shellapi.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int LauncherResource = 201;
constexpr int ApplicationResource = 202;

struct Switches {
    bool silent = false;
    std::wstring resultRecord;
    bool maintenance = false;
    DWORD waitForAppPid = 0;
    DWORD waitForLauncherPid = 0;
    std::wstring installDirectory;
};

Switches parseSwitches() {
    Switches switches;
    // "/D=" is always last and, as with NSIS, runs to the end of the line even when it holds spaces.
    std::wstring commandLine = GetCommandLineW();
    const std::size_t directory = commandLine.find(L" /D=");
    if (directory != std::wstring::npos) {
        switches.installDirectory = commandLine.substr(directory + 4);
        commandLine.resize(directory);
    }
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        const auto valueOf = [&](const wchar_t* prefix) -> std::optional<std::wstring> {
            const std::wstring p = prefix;
            if (argument.rfind(p, 0) == 0) {
                return argument.substr(p.size());
            }
            return std::nullopt;
        };
        if (argument == L"/S") {
            switches.silent = true;
        } else if (auto record = valueOf(L"/ardenwickInstallRecord=")) {
            switches.resultRecord = *record;
        } else if (argument == L"/ardenwickLauncherMaintenance=1") {
            switches.maintenance = true;
        } else if (auto pid = valueOf(L"/ardenwickWaitForAppPid=")) {
            switches.waitForAppPid = static_cast<DWORD>(std::stoul(*pid));
        } else if (auto pid2 = valueOf(L"/ardenwickWaitForLauncherPid=")) {
            switches.waitForLauncherPid = static_cast<DWORD>(std::stoul(*pid2));
        }
    }
    LocalFree(arguments);
    return switches;
}

bool extractResource(int id, const std::filesystem::path& target) {
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (!resource) {
        return false;
    }
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const DWORD size = SizeofResource(nullptr, resource);
    const void* bytes = LockResource(loaded);
    if (!bytes) {
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(target.parent_path(), ignored);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), size);
    return static_cast<bool>(out);
}

std::filesystem::path defaultRoot() {
    const std::wstring configured = standin::environmentText(L"ARDENWICK_STANDIN_ROOT");
    if (!configured.empty()) {
        return configured;
    }
    // A real installer's per-user default; in a test build the test profile's, and none without one.
    const auto folder = ardenwick::localAppDataFolder();
    if (!folder) {
        return {};
    }
    return std::filesystem::path(*folder) / L"Programs" / L"Ardenwick";
}

bool install(const std::filesystem::path& root) {
    const auto installKey = ardenwick::userRegistryKey(L"Software\\3b7e4f10-9a2c-5d41-8e6f-0c1d2a3b4c5d");
    if (root.empty() || !installKey) {
        return false;
    }
    const std::string version = ARDENWICK_STANDIN_VERSION;
    if (!extractResource(LauncherResource, root / L"Ardenwick.exe") ||
        !extractResource(ApplicationResource,
                         root / L"versions" / standin::widen(version) / L"app" / L"Ardenwick.exe")) {
        return false;
    }
    nlohmann::ordered_json activation;
    activation["schemaVersion"] = 2;
    activation["activeVersion"] = version;
    activation["lastKnownGoodVersion"] = version;
    activation["badVersions"] = nlohmann::json::array();
    if (!standin::writeFileAtomically(root / L"state" / L"activation.json", activation.dump())) {
        return false;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, installKey->c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring text = root.wstring();
    RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return true;
}

std::wstring identityAttemptId(const std::wstring& resultRecord) {
    wchar_t buffer[128]{};
    GetPrivateProfileStringW(L"context", L"attempt_id", L"", buffer, 128,
                             (resultRecord + L".identity").c_str());
    return buffer;
}

void writeResultRecord(const std::wstring& path, const std::wstring& attemptId, const std::wstring& result,
                       const std::filesystem::path& root) {
    if (path.empty()) {
        return;
    }
    WritePrivateProfileStringW(L"installation", L"schemaVersion", L"1", path.c_str());
    WritePrivateProfileStringW(L"installation", L"attempt_id", attemptId.c_str(), path.c_str());
    WritePrivateProfileStringW(L"installation", L"result", result.c_str(), path.c_str());
    WritePrivateProfileStringW(L"installation", L"version", standin::widen(ARDENWICK_STANDIN_VERSION).c_str(),
                               path.c_str());
    WritePrivateProfileStringW(L"installation", L"directory", root.c_str(), path.c_str());
}

void waitForProcess(DWORD pid) {
    if (pid == 0) {
        return;
    }
    if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid)) {
        WaitForSingleObject(process, 60000);
        CloseHandle(process);
    }
}

int linger(const std::wstring& milliseconds, const std::wstring& marker) {
    Sleep(static_cast<DWORD>(std::stoul(milliseconds)));
    std::ofstream(std::filesystem::path(marker)) << "child finished";
    // In the shared log too, so a test sees whether anything started after the installer ran before this.
    standin::logLine(L"installer child finished");
    return 0;
}

bool startLingeringChild(const std::filesystem::path& marker) {
    const std::wstring self = standin::ownPath().wstring();
    std::wstring commandLine = L"\"" + self + L"\" --linger 1500 \"" + marker.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        const DWORD error = GetLastError();
        standin::logLine(L"installer child start failed " + std::to_wstring(error));
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

/// What another process could do to a verified installer and its attempt directory; each result is
/// logged as "<what>=<1 if it happened, 0 if refused>/<error>", and whatever happened is undone.
void tamperWithOwnFile() {
    const std::filesystem::path self = standin::ownPath();
    const std::filesystem::path directory = self.parent_path();
    const std::filesystem::path replacement = directory / L"replacement.exe";
    std::ofstream(replacement, std::ios::binary) << "MZ not the verified installer";
    std::wstring line = L"installer tamper";
    const auto note = [&line](const wchar_t* what, BOOL done) {
        const DWORD error = done ? 0 : GetLastError();
        line += L" " + std::wstring(what) + L"=" + (done ? L"1" : L"0") + L"/" + std::to_wstring(error);
    };
    note(L"replace", MoveFileExW(replacement.c_str(), self.c_str(), MOVEFILE_REPLACE_EXISTING));
    const std::filesystem::path moved = self.wstring() + L".moved";
    const BOOL renamed = MoveFileW(self.c_str(), moved.c_str());
    note(L"rename", renamed);
    if (renamed) {
        MoveFileW(moved.c_str(), self.c_str());
    }
    DeleteFileW(replacement.c_str());
    const std::filesystem::path movedDirectory = directory.wstring() + L".moved";
    const BOOL directoryMoved = MoveFileW(directory.c_str(), movedDirectory.c_str());
    note(L"move-directory", directoryMoved);
    if (directoryMoved) {
        MoveFileW(movedDirectory.c_str(), directory.c_str());
    }
    note(L"delete", DeleteFileW(self.c_str()));
    standin::logLine(line);
}

/// Held running until the test lets it go, as a slow installer is; then says whether its records are
/// still beside its result record. It works in the installation root meanwhile, as NSIS does once its
/// SetOutPath names $INSTDIR, so its own folder is no longer its current directory.
void holdUntilReleased(const std::wstring& resultRecord, const std::filesystem::path& root) {
    std::error_code ignored;
    std::filesystem::create_directories(root, ignored);
    SetCurrentDirectoryW(root.c_str());
    if (HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, L"Local\\ArdenwickTest.InstallerRelease")) {
        WaitForSingleObject(release, 60000);
        CloseHandle(release);
    }
    const auto present = [](const std::wstring& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? L"1" : L"0";
    };
    standin::logLine(L"installer held records identity=" +
                     std::wstring(present(resultRecord + L".identity")) + L" context=" +
                     present(resultRecord + L".context"));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == L"--linger") {
        return linger(argv[2], argv[3]);
    }
    const Switches switches = parseSwitches();
    const std::wstring scenario = standin::environmentText(L"ARDENWICK_STANDIN_INSTALLER", L"success");
    standin::logLine(L"installer " + scenario + L" cwd=" + std::filesystem::current_path().wstring() +
                     L" line=" + GetCommandLineW());
    const std::wstring selfCopy = standin::environmentText(L"ARDENWICK_STANDIN_SELF_COPY");
    if (!selfCopy.empty() && !CopyFileW(standin::ownPath().c_str(), selfCopy.c_str(), FALSE)) {
        standin::logLine(L"installer self-copy failed " + std::to_wstring(GetLastError()));
    }
    if (!switches.silent) {
        return 5;
    }
    waitForProcess(switches.waitForAppPid);
    waitForProcess(switches.waitForLauncherPid);

    const std::filesystem::path root =
        switches.installDirectory.empty() ? defaultRoot() : std::filesystem::path(switches.installDirectory);
    if (scenario == L"held") {
        holdUntilReleased(switches.resultRecord, root);
    }
    const std::wstring attemptId = identityAttemptId(switches.resultRecord);
    standin::logLine(L"installer attempt=" + attemptId);
    if (scenario == L"tamper-self") {
        tamperWithOwnFile();
    }

    if (scenario == L"failure") {
        writeResultRecord(switches.resultRecord, attemptId, L"failure", root);
        return 1;
    }
    if (scenario == L"cancelled") {
        writeResultRecord(switches.resultRecord, attemptId, L"cancelled", root);
        return 0;
    }
    if (scenario != L"no-install" && !install(root)) {
        writeResultRecord(switches.resultRecord, attemptId, L"failure", root);
        return 2;
    }
    if (scenario == L"no-record") {
        return 0;
    }
    if (scenario == L"wrong-attempt") {
        writeResultRecord(switches.resultRecord, L"00000000-0000-0000-0000-000000000000", L"success", root);
        return 0;
    }
    if (scenario == L"success-capitalized") {
        writeResultRecord(switches.resultRecord, attemptId, L"Success", root);
        return 0;
    }
    if (scenario == L"other-directory") {
        writeResultRecord(switches.resultRecord, attemptId, L"success", root.parent_path());
        return 0;
    }
    if (scenario == L"broken-install") {
        // Reports success over a tree whose active version has no application.
        (void)standin::writeFileAtomically(
            root / L"state" / L"activation.json",
            R"({"schemaVersion":2,"activeVersion":"9.9.9","lastKnownGoodVersion":"9.9.9",)"
            R"("badVersions":[]})");
        writeResultRecord(switches.resultRecord, attemptId, L"success", root);
        return 0;
    }
    writeResultRecord(switches.resultRecord, attemptId, L"success", root);
    if (scenario == L"nonzero-success") {
        return 3;
    }
    if (scenario == L"child-outlives" && !startLingeringChild(root / L"child-finished.txt")) {
        return 4;
    }
    if (scenario == L"held") {
        standin::logLine(L"installer held ended");
    }
    return 0;
}
