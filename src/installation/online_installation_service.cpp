#include "installation/online_installation_service.h"

#include "common/text_conversion.h"
#include "common/user_state.h"
#include "installation/failure_record_file.h"
#include "installation/identifier.h"
#include "installation/install_location.h"
#include "installation/release_endpoint.h"
#include "installation/state_directory.h"
#include "telemetry/analytics_identity.h"
#include "telemetry/configuration_provider.h"
#include "telemetry/posthog_metrics.h"
#include "telemetry/web_attribution.h"
#include "telemetry/web_attribution_file.h"

#include <windows.h>
#include <shellapi.h>

namespace ardenwick {

std::wstring defaultFullInstallerUrl() {
    return std::wstring(ReleaseBaseUrl) + FullInstallerPath;
}

OnlineInstallationService::OnlineInstallationService(std::optional<MaintenanceRequest> maintenance,
                                                     ServiceTuning tuning)
    : tuning_(std::move(tuning)), maintenance_(std::move(maintenance)) {
    if (tuning_.fullInstallerUrl.empty()) {
        tuning_.fullInstallerUrl = defaultFullInstallerUrl();
    }
    if (maintenance_) {
        // Everything of a maintenance run lives under the installation root; LocalAppData is never asked
        // for, no analytics are recorded and no saved failure is presented.
        const WidePath root(maintenance_->installationRoot);
        stateDirectory_ = maintenanceStateDirectory(root);
        applicationPath_ = root / LauncherFileName;
        return;
    }
    stateDirectory_ = normalStateDirectory();
    installFlowId_ = newIdentifier();
    applicationPath_ = readInstallLocation();
    setUpTelemetry();
    presentSavedFailure();
}

void OnlineInstallationService::setUpTelemetry() noexcept {
    // Analytics must never stand in the way of an installation: whatever fails here only costs events.
    try {
        // A test build records under the "test" environment's project key: its outbox is another file
        // than any installed program's, and its events could never count in the production project.
        const ServiceConfiguration configuration =
            DefaultConfigurationProvider(isTestStateBuild() ? "test" : "production").configuration();
        MetricsConfiguration metrics;
        metrics.apiKey = configuration.analyticsProjectKey;
        metrics.host = configuration.analyticsHost;
        metrics.environment = configuration.environmentName == "production" ? "prod" : "dev";
        metrics.enabled = true;
        metrics.installationNamespace = configuration.attribution.applicationId;
        metrics_ = std::make_unique<PostHogMetrics>(std::move(metrics), tuning_.metricsOptions);
        analyticsDistinctId_ = analyticsDistinctId();
        std::wstring modulePath(32768, L'\0');
        const DWORD length =
            GetModuleFileNameW(nullptr, modulePath.data(), static_cast<DWORD>(modulePath.size()));
        if (length >= 1 && length <= 32767) {
            modulePath.resize(length);
            webAttribution_ =
                readWebAttribution(modulePath, webSetupUrl(wideToUtf8(tuning_.fullInstallerUrl)));
        }
        recordBootstrapperEvent("bootstrapper_started", {});
    } catch (...) {
    }
}

OnlineInstallationService::~OnlineInstallationService() {
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
}

void OnlineInstallationService::startInstallation() {
    if (savedFailure_) {
        // The window's first call only dismisses the saved failure; the user's "Try again" starts.
        savedFailure_ = false;
        return;
    }
    const bool retryLaunch = maintenance_ && currentStatus().kind == InstallationKind::UpdateFailed;
    if (worker_.joinable()) {
        if (currentStatus().kind < InstallationKind::Ready) {
            return;
        }
        worker_.join();
    }
    removeFailureRecord(stateDirectory_);
    publishStatus(InstallationStatus{});
    worker_ = std::jthread([this, retryLaunch](std::stop_token stopToken) {
        if (retryLaunch) {
            publishStatus(statusOf(InstallationKind::Launching));
            launchApplication(stopToken, true, false);
        } else {
            run(stopToken);
        }
    });
}

bool OnlineInstallationService::requestStop() {
    return worker_.request_stop();
}

InstallationStatus OnlineInstallationService::currentStatus() const {
    std::lock_guard lock(statusMutex_);
    return status_;
}

void OnlineInstallationService::openApplication() {
    const InstallationKind kind = currentStatus().kind;
    if (kind != InstallationKind::AlreadyInstalled && kind != InstallationKind::LaunchFailed &&
        kind != InstallationKind::UpdateFailed) {
        return;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    if (maintenance_) {
        maintenanceExpectedVersion_.clear();
    }
    relaunch_ = true;
    publishStatus(statusOf(InstallationKind::Launching));
    worker_ = std::jthread([this](std::stop_token stopToken) { launchApplication(stopToken, false, true); });
}

void OnlineInstallationService::openFullInstallerDownload() {
    ShellExecuteW(nullptr, L"open", tuning_.fullInstallerUrl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OnlineInstallationService::publishStatus(InstallationStatus status) {
    if (isFailureKind(status.kind)) {
        writeFailureRecord(stateDirectory_, status.kind);
    }
    setStatusWithoutRecord(std::move(status));
}

void OnlineInstallationService::setStatusWithoutRecord(InstallationStatus status) {
    std::lock_guard lock(statusMutex_);
    status_ = std::move(status);
}

void OnlineInstallationService::recordBootstrapperEvent(const std::string& name,
                                                        EventProperties properties) noexcept {
    try {
        BootstrapperEventContext context;
        context.installFlowId = installFlowId_;
        context.attemptId = attemptId_;
        context.installerVersion = installerVersion_;
        context.launcherVersion = launcherVersion_;
        context.webAttribution = webAttribution_;
        context.distinctId = analyticsDistinctId_;
        ardenwick::recordBootstrapperEvent(metrics_.get(), context, name, std::move(properties));
    } catch (...) {
    }
}

} // namespace ardenwick
