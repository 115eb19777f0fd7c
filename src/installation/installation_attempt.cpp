#include "common/installation_diagnostic_error.h"
#include "common/sharing_retry.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "common/win32_file.h"
#include "download/failure_diagnostics.h"
#include "download/installer_download.h"
#include "download/installer_metadata.h"
#include "download/signature_verification.h"
#include "installation/attempt_failure.h"
#include "installation/dead_attempt_folders.h"
#include "installation/identifier.h"
#include "installation/install_location.h"
#include "installation/installed_state.h"
#include "installation/installer_outcome.h"
#include "installation/installer_process.h"
#include "installation/installer_records_file.h"
#include "installation/native_machine.h"
#include "installation/online_installation_service.h"
#include "installation/processor_architecture.h"
#include "installation/result_record_file.h"

#include <chrono>

namespace ardenwick {
namespace {

constexpr std::uint64_t FullInstallerSizeLimit = 536870912; // 512 MiB
constexpr DWORD EarlierInstallerPollMs = 100;

std::int64_t millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

EventProperties stageProperties(const char* result, const std::string& stage) {
    return {{"result", std::string(result)}, {"stage", stage}};
}

/// A run ended while its full installer ran (from Task Manager, say) leaves that installer running, and
/// two installers must never write one installation at once: waits, as `Installing`, until no earlier
/// installer runs, notes the milliseconds waited as "earlier_installer_wait_ms" (also when a stop ends
/// the wait with "earlier_installer_wait_stopped") and removes its folder. Returns whether there was one.
bool awaitEarlierInstaller(OnlineInstallationService& service, const std::stop_token& stopToken,
                           EventProperties& notes) {
    if (!earlierInstallerRunning(service.stateDirectory())) {
        return false;
    }
    service.publishStatus(statusOf(InstallationKind::Installing));
    const auto start = std::chrono::steady_clock::now();
    while (earlierInstallerRunning(service.stateDirectory())) {
        if (stopToken.stop_requested()) {
            notes["earlier_installer_wait_ms"] = millisecondsSince(start);
            throw InstallationDiagnosticError("earlier_installer_wait_stopped");
        }
        Sleep(EarlierInstallerPollMs);
    }
    notes["earlier_installer_wait_ms"] = millisecondsSince(start);
    // Its folder is dead now.
    removeDeadAttemptFolders(service.stateDirectory());
    return true;
}

} // namespace

/// The attempt-local values of one run.
struct OnlineInstallationService::AttemptState {
    AttemptPhase phase = AttemptPhase::Preparation;
    std::string operation = "prepare";
    std::chrono::steady_clock::time_point stageStart = std::chrono::steady_clock::now();
    WidePath attemptDirectory;
    WidePath partialFile;
    WidePath installer;
    UniqueFileHandle directoryLock;
    UniqueFileHandle installerLock;
    /// What the current stage's steps waited through, for its result event: the retries they needed
    /// (only counts above zero) and the wait for an earlier run's installer (only when there was one).
    EventProperties stageRetries;

    void startStage(AttemptPhase next, std::string nextOperation) {
        phase = next;
        operation = std::move(nextOperation);
        stageStart = std::chrono::steady_clock::now();
        stageRetries.clear();
    }

    void noteRetries(const char* property, std::uint32_t retries) {
        if (retries > 0) {
            stageRetries[property] = static_cast<std::int64_t>(retries);
        }
    }

    void addStageRetries(EventProperties& properties) const {
        properties.insert(stageRetries.begin(), stageRetries.end());
    }
};

/// Turns download progress into `Downloading` and retries into "installer_download_retry".
class OnlineInstallationService::DownloadCallback final : public IInstallerDownloadCallback {
public:
    explicit DownloadCallback(OnlineInstallationService* service) : service_(service) {}

    void onProgress(std::uint64_t doneBytes, std::uint64_t totalBytes) override {
        InstallationStatus status = statusOf(InstallationKind::Downloading);
        status.doneBytes = doneBytes;
        status.totalBytes = totalBytes;
        service_->publishStatus(std::move(status));
    }

    void onRetry(const InstallationDiagnosticError& error, std::uint32_t retryNumber,
                 std::uint32_t delayMs) override {
        EventProperties properties = failureDiagnosticProperties(error, "download");
        properties["stage"] = std::string("download");
        properties["retry_number"] = static_cast<std::int64_t>(retryNumber);
        properties["retry_delay_ms"] = static_cast<std::int64_t>(delayMs);
        service_->recordBootstrapperEvent("installer_download_retry", std::move(properties));
    }

private:
    OnlineInstallationService* service_;
};

void OnlineInstallationService::run(std::stop_token stopToken) {
    if (maintenance_) {
        runMaintenance(stopToken);
        return;
    }
    AttemptState attempt;
    try {
        runAttempt(stopToken, attempt);
    } catch (const std::exception& error) {
        failAttempt(error, attempt);
    } catch (...) {
        failAttempt(std::runtime_error("unknown_error"), attempt);
    }
    // Clean-up after every outcome: release the locks first, or the directory could not be removed.
    attempt.installerLock.reset();
    attempt.directoryLock.reset();
    if (!attempt.partialFile.empty()) {
        removeFile(attempt.partialFile);
    }
    if (!attempt.attemptDirectory.empty()) {
        removeTree(attempt.attemptDirectory);
    }
}

void OnlineInstallationService::runAttempt(std::stop_token stopToken, AttemptState& attempt) {
    // Preparation.
    const std::string previousAttemptId = attemptId_;
    attemptId_ = newIdentifier();
    installerVersion_.clear();
    launcherVersion_.clear();
    if (!previousAttemptId.empty()) {
        recordBootstrapperEvent("installer_retry", {{"previous_attempt_id", previousAttemptId}});
    }
    // This process holds the user's instance lock, so no other attempt of this user is alive: every
    // attempt folder is dead but one whose installer still runs. Cleaned on every path, or a killed
    // download would stay for ever once the application got installed another way.
    removeDeadAttemptFolders(stateDirectory_);
    if (!isSupportedNativeMachine(nativeMachine())) {
        throw InstallationDiagnosticError("unsupported_architecture");
    }
    if (awaitEarlierInstaller(*this, stopToken, attempt.stageRetries)) {
        // Judged as usual, on what that installer left.
        applicationPath_ = readInstallLocation();
    }
    if (validateInstalledState(applicationPath_, "")) {
        EventProperties properties = stageProperties("success", "preparation");
        properties["operation"] = std::string("existing_installation");
        properties["duration_ms"] = millisecondsSince(attempt.stageStart);
        attempt.addStageRetries(properties);
        recordBootstrapperEvent("bootstrapper_preparation_result", std::move(properties));
        publishStatus(statusOf(InstallationKind::AlreadyInstalled));
        return;
    }
    attempt.operation = "attempt_directory_create";
    attempt.attemptDirectory = stateDirectory_ / utf8ToWide(newIdentifier());
    createDirectories(attempt.attemptDirectory);
    // Held to the end of the attempt, so the directory cannot be deleted or moved away under it.
    attempt.directoryLock.reset(CreateFileW(
        attempt.attemptDirectory.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!attempt.directoryLock) {
        const DWORD error = GetLastError();
        throw InstallationDiagnosticError("directory_lock", error);
    }
    attempt.partialFile = attempt.attemptDirectory / L"setup.partial";
    attempt.installer = attempt.attemptDirectory / L"setup.exe";
    {
        EventProperties properties = stageProperties("success", "preparation");
        properties["operation"] = std::string("download_required");
        properties["duration_ms"] = millisecondsSince(attempt.stageStart);
        attempt.addStageRetries(properties);
        recordBootstrapperEvent("bootstrapper_preparation_result", std::move(properties));
    }

    // Download.
    attempt.startStage(AttemptPhase::Download, "download");
    publishStatus(statusOf(InstallationKind::Downloading));
    recordBootstrapperEvent("installer_download_started", {});
    const InstallerDownloadResult download =
        downloadInstaller(tuning_.fullInstallerUrl, attempt.partialFile, FullInstallerSizeLimit,
                          std::make_unique<DownloadCallback>(this), stopToken, tuning_.downloadTimings);
    {
        const InstallationStatus progress = currentStatus();
        EventProperties properties = stageProperties("success", "download");
        properties["duration_ms"] = millisecondsSince(attempt.stageStart);
        properties["http_status"] = static_cast<std::int64_t>(download.httpStatus);
        properties["resumed_bytes"] = static_cast<std::int64_t>(download.resumedBytes);
        properties["downloaded_bytes"] = static_cast<std::int64_t>(progress.doneBytes);
        properties["total_bytes"] = static_cast<std::int64_t>(progress.totalBytes);
        recordBootstrapperEvent("installer_download_result", std::move(properties));
    }

    // Verification.
    attempt.startStage(AttemptPhase::Verification, "installer_file_rename");
    publishStatus(statusOf(InstallationKind::Verifying));
    recordBootstrapperEvent("installer_verification_started", {});
    const SharingRetryOutcome rename =
        retryWhileShared([&] { return tryRenameFile(attempt.partialFile, attempt.installer); },
                         tuning_.sharingRetryTimings, stopToken);
    attempt.noteRetries("rename_retries", rename.retries);
    if (rename.error != ERROR_SUCCESS) {
        throwRenameError(attempt.partialFile, rename.error);
    }
    // While this handle is open nobody can write, rename or delete the verified file.
    DWORD lockError = ERROR_SUCCESS;
    const SharingRetryOutcome lock = retryWhileShared(
        [&] {
            HANDLE file =
                CreateFileW(attempt.installer.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            lockError = GetLastError();
            attempt.installerLock.reset(file);
            return attempt.installerLock ? 0u : failedStep(lockError);
        },
        tuning_.sharingRetryTimings, stopToken);
    attempt.noteRetries("lock_retries", lock.retries);
    if (lock.error != ERROR_SUCCESS) {
        throw InstallationDiagnosticError("installer_lock", lockError);
    }
    attempt.operation = "signature_publisher";
    verifySignedArtifact(attempt.installer);
    attempt.operation = "installer_metadata";
    InstallerVersions versions;
    try {
        checkInstallerMetadata(attempt.installer, versions);
    } catch (...) {
        // The events of a mismatch already carry whatever versions were read.
        installerVersion_ = versions.productVersion;
        launcherVersion_ = versions.launcherVersion;
        throw;
    }
    installerVersion_ = versions.productVersion;
    launcherVersion_ = versions.launcherVersion;
    if (stopToken.stop_requested()) {
        throw InstallationDiagnosticError("verification_stopped");
    }
    {
        EventProperties properties = stageProperties("success", "verification");
        properties["duration_ms"] = millisecondsSince(attempt.stageStart);
        attempt.addStageRetries(properties);
        recordBootstrapperEvent("installer_verification_result", std::move(properties));
    }

    // The installer process.
    attempt.startStage(AttemptPhase::Process, "context_write");
    publishStatus(statusOf(InstallationKind::Installing));
    attempt.stageStart = std::chrono::steady_clock::now();
    recordBootstrapperEvent("installer_process_requested", {});
    const WidePath resultRecord = attempt.attemptDirectory / L"result.ini";
    InstallerRecordValues values{installFlowId_, attemptId_, analyticsDistinctId_, {}};
    for (const auto& [key, value] : webAttribution_) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            values.webAttribution.emplace(key, *text);
        }
    }
    writeInstallerRecords(resultRecord, values);

    attempt.operation = "installer_process";
    InstallerStartRetry startRetry{tuning_.sharingRetryTimings, stopToken};
    std::uint32_t exitCode = 0;
    try {
        exitCode = runInstallerProcess(
            attempt.installer, installerCommandLine(attempt.installer.wstring(), resultRecord.wstring()),
            [this](std::uint32_t) { recordBootstrapperEvent("installer_process_started", {}); }, startRetry);
    } catch (...) {
        attempt.noteRetries("start_retries", startRetry.retries);
        throw;
    }
    attempt.noteRetries("start_retries", startRetry.retries);

    attempt.operation = "installed_state_validation";
    applicationPath_ = readInstallLocation();
    const std::optional<ResultRecord> record = readResultRecord(resultRecord);
    InstallerOutcomeInputs inputs;
    inputs.installedOk = exitCode == 0 && validateInstalledState(applicationPath_, installerVersion_);
    inputs.record = record ? &*record : nullptr;
    inputs.expectedAttemptId = attemptId_;
    inputs.expectedVersion = installerVersion_;
    inputs.applicationPathEmpty = applicationPath_.empty();
    inputs.sameDirectory = [&] {
        return isSameDirectory(applicationPath_.parent_path(), utf8ToWide(record->directory));
    };
    const InstallerOutcome outcome = decideInstallerOutcome(inputs);
    {
        EventProperties properties = stageProperties(outcome.result.c_str(), "process");
        properties["exit_code"] = static_cast<std::int64_t>(exitCode);
        properties["duration_ms"] = millisecondsSince(attempt.stageStart);
        properties["error_code"] = outcome.errorCode;
        attempt.addStageRetries(properties);
        recordBootstrapperEvent("installer_process_result", std::move(properties));
    }

    if (outcome.kind == InstallerOutcomeKind::Success) {
        publishStatus(statusOf(InstallationKind::Launching));
        launchApplication(stopToken, false, false);
        return;
    }
    const InstallationKind kind = outcome.kind == InstallerOutcomeKind::ReportedFailure
                                      ? InstallationKind::InstallationFailed
                                      : InstallationKind::ResultUnknown;
    publishStatus(statusOf(kind, unsuccessfulOutcomeOperation(outcome)));
}

void OnlineInstallationService::failAttempt(const std::exception& error, AttemptState& attempt) {
    const std::string kind = attemptFailureKind(error.what(), attempt.phase);
    EventProperties properties = failureDiagnosticProperties(error, attempt.operation);
    properties["result"] = std::string("failure");
    properties["stage"] = attemptStageName(attempt.phase);
    properties["duration_ms"] = millisecondsSince(attempt.stageStart);
    properties["retryable"] = kind != "unsupported_architecture";
    attempt.addStageRetries(properties);
    recordBootstrapperEvent(attemptResultEventName(attempt.phase), std::move(properties));
    publishStatus(statusOf(InstallationKind::InstallationFailed, kind));
}

} // namespace ardenwick
