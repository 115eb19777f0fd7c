#include "common/absolute_path.h"
#include "common/file_system_error.h"
#include "common/sharing_retry.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "common/win32_file.h"
#include "installation/identifier.h"
#include "installation/installed_state.h"
#include "installation/installer_process.h"
#include "installation/installer_records.h"
#include "installation/online_installation_service.h"
#include "installation/result_record_file.h"
#include "maintenance/maintenance_checks.h"
#include "maintenance/maintenance_handoff.h"

#include <system_error>
#include <vector>

namespace ardenwick {
namespace {

[[noreturn]] void throwFileSystemError(const char* operation, const WidePath& path, DWORD error) {
    throw FileSystemError(operation, std::error_code(static_cast<int>(error), std::system_category()), path);
}

bool isNotFoundError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return true;
    default:
        return false;
    }
}

/// "launcher-maintenance.json", or its ".consumed" form when the launcher has already taken the first.
WidePath handoffPath(const WidePath& installationRoot) {
    const WidePath handoff = installationRoot / L"state" / L"launcher-maintenance.json";
    if (GetFileAttributesW(handoff.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return handoff;
    }
    const DWORD error = GetLastError();
    if (!isNotFoundError(error)) {
        throwFileSystemError("exists", handoff, error);
    }
    return handoff.wstring() + L".consumed";
}

std::string readHandoff(const WidePath& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) {
        const DWORD error = GetLastError();
        throwFileSystemError("file_size", path, error);
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    if (size > MaxMaintenanceHandoffBytes) {
        throw std::runtime_error("maintenance_handoff_invalid");
    }
    // Also refuses a file that grew past the bound since its size was read.
    FileBytes file = readFileBounded(path, MaxMaintenanceHandoffBytes);
    if (!file.ok()) {
        throw std::runtime_error("maintenance_handoff_invalid");
    }
    return std::move(file.bytes);
}

std::wstring profileString(const std::wstring& file, const wchar_t* key, DWORD characters) {
    std::vector<wchar_t> buffer(characters, L'\0');
    const DWORD length =
        GetPrivateProfileStringW(L"installation", key, L"", buffer.data(), characters, file.c_str());
    return std::wstring(buffer.data(), length);
}

/// The installer's record in the maintenance UI state: removed once it has been read, and on every
/// way out before that (an installer that could not be started, a job call that failed).
class InstallerRecordFile {
public:
    explicit InstallerRecordFile(WidePath path) : path_(std::move(path)) {}
    InstallerRecordFile(const InstallerRecordFile&) = delete;
    InstallerRecordFile& operator=(const InstallerRecordFile&) = delete;
    ~InstallerRecordFile() { remove(); }

    [[nodiscard]] const WidePath& path() const noexcept { return path_; }

    void remove() noexcept {
        if (!removed_) {
            removed_ = true;
            (void)removeFile(path_);
        }
    }

private:
    WidePath path_;
    bool removed_ = false;
};

bool isSignalled(HANDLE handle) {
    return handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

} // namespace

bool OnlineInstallationService::awaitLauncherHandshake(const std::stop_token& stopToken) {
    if (maintenanceHandOffDone_) {
        return true;
    }
    const MaintenanceRequest& request = *maintenance_;
    const std::wstring& name = request.readyEventName;
    const bool withEvents = !name.empty();
    UniqueKernelHandle readyEvent;
    UniqueKernelHandle goEvent;
    UniqueKernelHandle cancelEvent;
    UniqueKernelHandle launcher;
    if (withEvents) {
        readyEvent.reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
        goEvent.reset(OpenEventW(SYNCHRONIZE, FALSE, (name + L".go").c_str()));
        cancelEvent.reset(OpenEventW(SYNCHRONIZE, FALSE, (name + L".cancel").c_str()));
        if (request.launcherProcessId != 0) {
            launcher.reset(OpenProcess(SYNCHRONIZE, FALSE, request.launcherProcessId));
        }
    }
    const ULONGLONG deadline = GetTickCount64() + tuning_.handshakeDeadlineMs;
    // A wait on an auto-reset event consumes its signal, so each event is waited on until it is seen
    // once and the answer is kept: asking again would turn a go into a cancel and a cancel into a wait.
    bool goSeen = false;
    bool cancelSeen = false;
    const auto goSignalled = [&] { return goSeen || (goSeen = isSignalled(goEvent.get())); };
    const auto cancelSignalled = [&] { return cancelSeen || (cancelSeen = isSignalled(cancelEvent.get())); };
    const auto aborted = [&] {
        if (!withEvents) {
            return false;
        }
        return !readyEvent || !goEvent || !cancelEvent || (request.launcherProcessId != 0 && !launcher) ||
               cancelSignalled();
    };
    const auto launcherExited = [&] { return isSignalled(launcher.get()); };
    const auto interrupted = [&] {
        return stopToken.stop_requested() || GetTickCount64() >= deadline || aborted() || launcherExited();
    };

    bool succeeded = false;
    while (!windowReady() && !interrupted()) {
        Sleep(25);
    }
    if (!interrupted()) {
        if (!withEvents) {
            succeeded = true;
        } else if (SetEvent(readyEvent.get())) {
            while (!goSignalled() && !interrupted()) {
                Sleep(25);
            }
            // The launcher may exit right after letting maintenance go; the go event decides.
            succeeded = goSignalled();
        }
    }
    if (succeeded) {
        maintenanceHandOffDone_ = true;
        return true;
    }
    InstallationStatus cancelled = statusOf(InstallationKind::InstallationCancelled);
    cancelled.finished = true;
    publishStatus(std::move(cancelled));
    return false;
}

void OnlineInstallationService::runMaintenance(std::stop_token stopToken) {
    if (!awaitLauncherHandshake(stopToken)) {
        return;
    }
    const MaintenanceRequest& request = *maintenance_;
    try {
        if (!isAbsolutePath(request.installationRoot) || !isAbsolutePath(request.installerPath)) {
            throw std::runtime_error("maintenance_path_invalid");
        }
        const WidePath root(request.installationRoot);
        const MaintenanceHandoff handoff = parseMaintenanceHandoff(readHandoff(handoffPath(root)));
        maintenanceExpectedVersion_ = handoff.release.version;
        relaunch_ = handoff.relaunch;
        publishStatus(statusOf(InstallationKind::Verifying));

        // Held until the flow ends: others may read the verified installer, never change it.
        UniqueFileHandle installerLock;
        const SharingRetryOutcome lock = retryWhileShared(
            [&] {
                HANDLE file =
                    CreateFileW(request.installerPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
                const DWORD error = GetLastError();
                installerLock.reset(file);
                return installerLock ? 0u : failedStep(error);
            },
            tuning_.sharingRetryTimings, stopToken);
        if (lock.error != 0) {
            throw std::runtime_error("installer_lock");
        }
        const MaintenanceCheckContext context{root, handoff.environment};
        checkMaintenanceInstaller(context, request.installerPath, handoff.release);
        checkStagedPayload(context, handoff.release, tuning_.sharingRetryTimings, stopToken);

        createDirectories(stateDirectory_);
        InstallerRecordFile record(stateDirectory_ / utf8ToWide(newIdentifier() + ".ini"));
        const std::wstring commandLine = maintenanceInstallerCommandLine(
            request.installerPath, record.path().wstring(), request.applicationProcessId,
            request.launcherProcessId, request.installationRoot);
        // Unicode from the start, so the installer's profile functions keep any path intact. Should it
        // fail, the installer creates the record itself, as it always could.
        (void)writeWholeFile(record.path(), UnicodeRecordStart);
        publishStatus(statusOf(InstallationKind::Installing));
        InstallerStartRetry startRetry{tuning_.sharingRetryTimings, stopToken};
        const std::uint32_t exitCode =
            runInstallerProcess(request.installerPath, commandLine, {}, startRetry);

        const std::wstring result = profileString(record.path().wstring(), L"result", 32);
        const std::wstring directory = profileString(record.path().wstring(), L"directory", 32768);
        // Read once and never again: without this every update would leave its record behind.
        record.remove();
        bool sameRoot = false;
        if (exitCode == 0 && result == L"success" && !directory.empty()) {
            try {
                sameRoot = isSameDirectory(directory, root);
            } catch (const std::exception&) {
                throwFileSystemError("equivalent", directory, ERROR_INVALID_PARAMETER);
            }
        }
        if (!sameRoot || !validateInstalledState(applicationPath_, "")) {
            throw std::runtime_error("maintenance_installation_failed");
        }
        publishStatus(statusOf(relaunch_ ? InstallationKind::Launching : InstallationKind::Installing));
        launchApplication(stopToken, false, false);
    } catch (const std::exception&) {
        // The reason is neither shown nor recorded: the user sees the general failure.
        publishStatus(statusOf(InstallationKind::InstallationFailed, "installation_failed"));
    }
}

} // namespace ardenwick
