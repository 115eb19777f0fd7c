#include "launch/application_probe.h"

#include "common/file_identity.h"
#include "common/unique_handle.h"
#include "common/win32_file.h"
#include "launch/run_state.h"
#include "maintenance/activation_state.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

constexpr DWORD ProcessIdListBytes = 8224;

std::optional<std::string> readSmallFile(const WidePath& path, std::size_t limit) {
    FileBytes file = readFileBounded(path, limit);
    if (!file.ok()) {
        return std::nullopt;
    }
    return std::move(file.bytes);
}

bool isJobApplicationReady(const WidePath& root, const WidePath& executable, std::uint32_t* processId) {
    const auto text = readSmallFile(root / L"state" / L"recovery.json", MaxRecoveryStateBytes);
    if (!text) {
        return false;
    }
    const std::optional<RecoveryState> recovery = parseReadyRecoveryState(*text);
    if (!recovery) {
        return false;
    }
    const std::u16string jobName = runtimeJobName(recovery->runId);
    const std::wstring wideJobName(jobName.begin(), jobName.end());
    UniqueKernelHandle job(OpenJobObjectW(JOB_OBJECT_QUERY, FALSE, wideJobName.c_str()));
    if (!job) {
        return false;
    }
    if (recovery->applicationPid) {
        if (*recovery->applicationPid > 0xFFFFFFFFULL) {
            return false;
        }
        const auto pid = static_cast<std::uint32_t>(*recovery->applicationPid);
        UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        BOOL inJob = FALSE;
        if (!process || !IsProcessInJob(process.get(), job.get(), &inJob) || !inJob ||
            !isApplicationProcess(pid, executable)) {
            return false;
        }
        if (processId) {
            *processId = pid;
        }
        return true;
    }
    // Two 32-bit counts, then up to 1027 process ids. The ids are read through a pointer into the raw
    // buffer: indexing the one-element array of the declared struct past 0 is undefined behaviour.
    alignas(ULONG_PTR) std::byte buffer[ProcessIdListBytes]{};
    if (!QueryInformationJobObject(job.get(), JobObjectBasicProcessIdList, buffer, ProcessIdListBytes,
                                   nullptr)) {
        return false;
    }
    DWORD listed = 0;
    std::memcpy(&listed, buffer + sizeof(DWORD), sizeof(DWORD));
    const std::byte* ids = buffer + offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList);
    const DWORD capacity =
        (ProcessIdListBytes - offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList)) / sizeof(ULONG_PTR);
    for (DWORD i = 0; i < listed && i < capacity; ++i) {
        ULONG_PTR id = 0;
        std::memcpy(&id, ids + i * sizeof(ULONG_PTR), sizeof(ULONG_PTR));
        if (isApplicationProcess(static_cast<std::uint32_t>(id), executable)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool isApplicationProcess(std::uint32_t processId, const WidePath& executable) noexcept {
    UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return false;
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode) || exitCode != STILL_ACTIVE) {
        return false;
    }
    std::vector<wchar_t> image(32768);
    DWORD length = static_cast<DWORD>(image.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) {
        return false;
    }
    // The loader's spelling of the image (through junctions, links, 8.3 names or a SUBST drive) rarely
    // equals the one built from "InstallLocation", and equal text may name another file by now: the
    // image is the expected executable only when both spellings open the same file.
    return namesSameFile(WidePath(std::wstring(image.data(), length)), executable);
}

BOOL CALLBACK findApplicationWindow(HWND window, LPARAM parameter) noexcept {
    auto* search = reinterpret_cast<ApplicationWindowSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr ||
        GetWindowTextLengthW(window) <= 0) {
        return TRUE;
    }
    if (!isApplicationProcess(processId, *search->executable)) {
        return TRUE;
    }
    search->processId = processId;
    return FALSE;
}

bool isApplicationReady(const WidePath& installationRoot, std::string_view expectedVersion,
                        std::uint32_t* processId) noexcept {
    try {
        if (processId) {
            *processId = 0;
        }
        const ActivationState activation =
            readActivationState(installationRoot / L"state" / L"activation.json");
        if (activation.activeVersion != expectedVersion) {
            return false;
        }
        const WidePath executable = installationRoot / L"versions" /
                                    std::wstring(expectedVersion.begin(), expectedVersion.end()) / L"app" /
                                    L"Ardenwick.exe";
        // The protocol file is tiny; a huge one is as unusable as a missing one.
        const auto protocolText =
            readSmallFile(installationRoot / L"launcher-version.json", MaxRecoveryStateBytes);
        if (!protocolText) {
            return false;
        }
        const std::uint64_t protocol = parseLauncherProtocolVersion(*protocolText);
        if (protocol >= 3) {
            return isJobApplicationReady(installationRoot, executable, processId);
        }
        ApplicationWindowSearch search{&executable, 0};
        EnumWindows(findApplicationWindow, reinterpret_cast<LPARAM>(&search));
        if (processId) {
            *processId = search.processId;
        }
        return search.processId != 0;
    } catch (...) {
        return false;
    }
}

} // namespace ardenwick
