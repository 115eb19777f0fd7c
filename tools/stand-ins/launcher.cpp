// Stand-in for the application's launcher ("Ardenwick.exe" at the installation root). Started with one
// of the three installation switches, it starts the active version's application inside a named runtime
// job, publishes its protocol version and waits for the application. ARDENWICK_STANDIN_LAUNCHER chooses
// a behaviour:
//   ready (default), exit-zero, exit-20, exit-3, never-ready, protocol2, outside-job
#include "stand_in_support.h"

#include <objbase.h>

#include <nlohmann/json.hpp>

#include <string>

namespace {

std::string activeVersion(const std::filesystem::path& root) {
    std::ifstream in(root / L"state" / L"activation.json", std::ios::binary);
    const auto activation = nlohmann::json::parse(in, nullptr, false);
    if (!activation.is_object() || !activation.contains("activeVersion") ||
        !activation["activeVersion"].is_string()) {
        return {};
    }
    return activation["activeVersion"].get<std::string>();
}

std::wstring newRunId() {
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t text[39]{};
    StringFromGUID2(guid, text, 39);
    return L"Local\\Ardenwick.Runtime." + std::wstring(text + 1, 36);
}

int runApplication(const std::filesystem::path& root, const std::wstring& scenario) {
    const std::string version = activeVersion(root);
    if (version.empty()) {
        return 4;
    }
    const int protocol = scenario == L"protocol2" ? 2 : 3;
    if (!standin::writeFileAtomically(root / L"launcher-version.json",
                                      "{\"protocolVersion\":" + std::to_string(protocol) + "}")) {
        return 6;
    }
    const std::wstring runId = newRunId();
    HANDLE job = CreateJobObjectW(nullptr, runId.c_str());
    if (!job) {
        return 7;
    }
    const std::filesystem::path application =
        root / L"versions" / standin::widen(version) / L"app" / L"Ardenwick.exe";
    std::wstring commandLine = L"\"" + application.wstring() + L"\" --run-id \"" + runId + L"\" --root \"" +
                               root.wstring() + L"\" --mode " + scenario;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, root.c_str(), &startup, &info)) {
        return 8;
    }
    if (scenario != L"outside-job") {
        AssignProcessToJobObject(job, info.hProcess);
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    // The job (and its name) lives as long as a handle is open: keep it while the application runs.
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(job);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring scenario = standin::environmentText(L"ARDENWICK_STANDIN_LAUNCHER", L"ready");
    const std::wstring switchText = argc > 1 ? argv[1] : L"";
    standin::logLine(L"launcher " + switchText + L" " + scenario + L" cwd=" +
                     std::filesystem::current_path().wstring());
    if (argc != 2 ||
        (switchText != L"--ardenwick-installation-startup" &&
         switchText != L"--ardenwick-installation-open" && switchText != L"--ardenwick-installation-retry")) {
        return 2;
    }
    if (scenario == L"exit-zero") {
        return 0;
    }
    if (scenario == L"exit-20") {
        return 20;
    }
    if (scenario == L"exit-3") {
        return 3;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        return 9;
    }
    return runApplication(standin::ownPath().parent_path(), scenario);
}
