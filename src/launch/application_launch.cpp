#include "common/unique_handle.h"
#include "download/failure_diagnostics.h"
#include "installation/failure_record_file.h"
#include "installation/installed_state.h"
#include "installation/online_installation_service.h"
#include "launch/application_probe.h"
#include "launch/launch_result.h"
#include "launch/launcher_start.h"
#include "maintenance/activation_state.h"

#include <windows.h>

#include <chrono>
#include <optional>

namespace ardenwick {
namespace {

/// One launch's trigger, start time and what was seen of the launcher's exit.
struct LaunchContext {
    std::string trigger;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::optional<std::uint32_t> launcherExitCode;
};

WidePath installationRootOf(const WidePath& applicationPath) {
    std::wstring root = applicationPath.parent_path().wstring();
    while (root.size() > 3 && (root.back() == L'\\' || root.back() == L'/')) {
        root.pop_back();
    }
    return root;
}

} // namespace

void OnlineInstallationService::launchApplication(std::stop_token stopToken, bool retry, bool userInitiated) {
    LaunchContext context;
    context.trigger = launchTrigger(userInitiated, maintenance_.has_value());
    const auto recordResult = [&](const char* result, const char* errorCode, EventProperties extra = {}) {
        const auto duration = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now() - context.start)
                                  .count() /
                              1000000;
        recordBootstrapperEvent("bootstrapper_launch_result",
                                launchResultProperties(std::move(extra), result, errorCode, context.trigger,
                                                       static_cast<std::int64_t>(duration),
                                                       context.launcherExitCode));
    };
    const auto publishLaunchFailed = [&] { publishStatus(statusOf(InstallationKind::LaunchFailed)); };

    recordBootstrapperEvent("bootstrapper_launch_started", {{"launch_trigger", context.trigger}});
    UniqueKernelHandle launcher;
    try {
        if (!validateInstalledState(applicationPath_, "")) {
            recordResult("failure", "installed_state_invalid");
            publishStatus(statusOf(InstallationKind::InstallationFailed, "installation_failed"));
            return;
        }
        const WidePath root = installationRootOf(applicationPath_);
        const std::string expectedVersion =
            !maintenanceExpectedVersion_.empty()
                ? maintenanceExpectedVersion_
                : readActivationState(root / L"state" / L"activation.json").activeVersion;

        LauncherStart started = startLauncher(applicationPath_, launcherSwitch(retry, userInitiated), root);
        if (!started.process) {
            recordResult("failure", "launcher_shell_execute",
                         {{"win32_error", static_cast<std::int64_t>(started.error)}});
            publishLaunchFailed();
            return;
        }
        launcher = std::move(started.process);

        const ULONGLONG deadline = GetTickCount64() + tuning_.launchDeadlineMs;
        for (;; Sleep(100)) {
            if (stopToken.stop_requested()) {
                recordResult("unknown", "launch_observation_stopped");
                publishLaunchFailed();
                return;
            }
            if (GetTickCount64() >= deadline) {
                recordResult("unknown", "launch_ready_timeout");
                publishLaunchFailed();
                return;
            }
            std::uint32_t processId = 0;
            if (isApplicationReady(root, expectedVersion, &processId)) {
                removeFailureRecord(stateDirectory_);
                recordResult("success", "none");
                InstallationStatus ready = statusOf(InstallationKind::Ready);
                ready.applicationProcessId = processId;
                publishStatus(std::move(ready));
                return;
            }
            if (maintenance_ && relaunch_) {
                const std::string active =
                    readActivationState(root / L"state" / L"activation.json").activeVersion;
                if (active != expectedVersion && isApplicationReady(root, active, nullptr)) {
                    recordResult("failure", "unexpected_version_ready");
                    publishLaunchFailed();
                    return;
                }
            }
            DWORD exitCode = 0;
            if (launcher && GetExitCodeProcess(launcher.get(), &exitCode) && exitCode != STILL_ACTIVE) {
                context.launcherExitCode = exitCode;
            }
            if (!context.launcherExitCode || *context.launcherExitCode == 0) {
                if (maintenance_ && !relaunch_ && context.launcherExitCode &&
                    validateInstalledState(applicationPath_, expectedVersion)) {
                    publishStatus(statusOf(InstallationKind::Ready));
                    return;
                }
                continue;
            }
            break;
        }
        recordResult("failure", "launcher_exited_before_ready");
        const bool updateFailed = maintenance_ && *context.launcherExitCode == 20;
        publishStatus(
            statusOf(updateFailed ? InstallationKind::UpdateFailed : InstallationKind::LaunchFailed));
    } catch (const std::exception& error) {
        recordResult("failure", "launch_observation_failed",
                     failureDiagnosticProperties(error, "launch_observation"));
        publishLaunchFailed();
    } catch (...) {
        recordResult("failure", "launch_observation_failed");
        publishLaunchFailed();
    }
}

} // namespace ardenwick
