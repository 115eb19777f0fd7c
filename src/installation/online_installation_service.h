#pragma once

#include "common/maintenance_request.h"
#include "common/sharing_retry.h"
#include "common/wide_path.h"
#include "download/installer_download.h"
#include "installation/installation_service.h"
#include "installation/installation_status.h"
#include "telemetry/event_properties.h"
#include "telemetry/metrics.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace ardenwick {

class PostHogMetrics;

/// Values the shipped program never changes; tests shorten the waits and point the download at a
/// loopback server.
struct ServiceTuning {
    /// Empty: the endpoint fixed at build time.
    std::wstring fullInstallerUrl;
    InstallerDownloadTimings downloadTimings;
    std::uint64_t launchDeadlineMs = 120000;
    std::uint64_t handshakeDeadlineMs = 20000;
    /// How long a step waits out a scanner that holds its file.
    SharingRetryTimings sharingRetryTimings;
    /// Empty in the shipped program; tests give the client a private outbox and a recording sender.
    MetricsOptions metricsOptions;
};

/// The full-installer URL fixed at build time.
[[nodiscard]] std::wstring defaultFullInstallerUrl();

/// The installation engine behind the window: where everything lives, the identifiers of this run, the
/// published status and the worker that runs one attempt at a time.
class OnlineInstallationService final : public IInstallationService {
public:
    /// Normal mode without a request, maintenance mode with one. Throws "local_data_unavailable" or
    /// "identity_unavailable".
    explicit OnlineInstallationService(std::optional<MaintenanceRequest> maintenance,
                                       ServiceTuning tuning = {});
    OnlineInstallationService(const OnlineInstallationService&) = delete;
    OnlineInstallationService& operator=(const OnlineInstallationService&) = delete;
    /// Requests a stop of the worker and waits for it (a running full installer is waited for).
    ~OnlineInstallationService() override;

    void startInstallation() override;
    bool requestStop() override;
    [[nodiscard]] InstallationStatus currentStatus() const override;
    void openApplication() override;
    void openFullInstallerDownload() override;

    /// Called once the window is visible; a maintenance run waits for it before signalling the launcher.
    /// Returns the flag's previous value.
    bool markWindowReady() noexcept { return windowReady_.exchange(true); }
    [[nodiscard]] bool windowReady() const noexcept { return windowReady_.load(); }

    [[nodiscard]] const WidePath& stateDirectory() const noexcept { return stateDirectory_; }
    [[nodiscard]] const WidePath& applicationPath() const noexcept { return applicationPath_; }
    [[nodiscard]] const std::string& installFlowId() const noexcept { return installFlowId_; }
    [[nodiscard]] const std::optional<MaintenanceRequest>& maintenanceRequest() const noexcept {
        return maintenance_;
    }
    [[nodiscard]] bool isMaintenance() const noexcept { return maintenance_.has_value(); }
    [[nodiscard]] bool savedFailurePresented() const noexcept { return savedFailure_; }

    /// Writes the failure record for failure kinds (outside the mutex), then swaps the status in.
    void publishStatus(InstallationStatus status);
    /// Records one installer event with this run's context; records nothing without a client.
    void recordBootstrapperEvent(const std::string& name, EventProperties properties) noexcept;

private:
    class DownloadCallback;
    struct AttemptState;

    void run(std::stop_token stopToken);
    void runAttempt(std::stop_token stopToken, AttemptState& attempt);
    void failAttempt(const std::exception& error, AttemptState& attempt);
    void launchApplication(std::stop_token stopToken, bool retry, bool userInitiated);
    void runMaintenance(std::stop_token stopToken);
    [[nodiscard]] bool awaitLauncherHandshake(const std::stop_token& stopToken);
    void presentSavedFailure() noexcept;
    void setUpTelemetry() noexcept;
    void setStatusWithoutRecord(InstallationStatus status);

    ServiceTuning tuning_;
    std::optional<MaintenanceRequest> maintenance_;
    WidePath stateDirectory_;
    WidePath applicationPath_;
    std::string installFlowId_;
    std::string attemptId_;
    std::string installerVersion_;
    std::string launcherVersion_;
    EventProperties webAttribution_;
    std::string analyticsDistinctId_;
    std::unique_ptr<PostHogMetrics> metrics_;

    mutable std::mutex statusMutex_;
    InstallationStatus status_;
    bool savedFailure_ = false;
    std::atomic<bool> windowReady_{false};
    std::string maintenanceExpectedVersion_;
    bool relaunch_ = true;
    bool maintenanceHandOffDone_ = false;

    // Declared last so that it is joined before any member it uses is destroyed.
    std::jthread worker_;
};

} // namespace ardenwick
