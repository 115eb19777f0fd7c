#pragma once

#include "app/maintenance_request.h"
#include "installation/installation_status.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace ardenwick {

/// The installation engine behind the window: where everything lives, the identifiers of this run and
/// the published status.
class OnlineInstallationService {
public:
    /// Normal mode without a request, maintenance mode with one. Throws "local_data_unavailable" or
    /// "identity_unavailable".
    explicit OnlineInstallationService(std::optional<MaintenanceRequest> maintenance);
    OnlineInstallationService(const OnlineInstallationService&) = delete;
    OnlineInstallationService& operator=(const OnlineInstallationService&) = delete;

    [[nodiscard]] InstallationStatus currentStatus() const;

    /// Called once the window is visible; a maintenance run waits for it before signalling the launcher.
    /// Returns the flag's previous value.
    bool markWindowReady() noexcept { return windowReady_.exchange(true); }
    [[nodiscard]] bool windowReady() const noexcept { return windowReady_.load(); }

    [[nodiscard]] const std::filesystem::path& stateDirectory() const noexcept { return stateDirectory_; }
    [[nodiscard]] const std::filesystem::path& applicationPath() const noexcept { return applicationPath_; }
    [[nodiscard]] const std::string& installFlowId() const noexcept { return installFlowId_; }
    [[nodiscard]] const std::optional<MaintenanceRequest>& maintenanceRequest() const noexcept {
        return maintenance_;
    }
    [[nodiscard]] bool isMaintenance() const noexcept { return maintenance_.has_value(); }

private:
    std::optional<MaintenanceRequest> maintenance_;
    std::filesystem::path stateDirectory_;
    std::filesystem::path applicationPath_;
    std::string installFlowId_;
    std::string attemptId_;
    std::string installerVersion_;
    std::string launcherVersion_;
    std::string analyticsDistinctId_;

    mutable std::mutex statusMutex_;
    InstallationStatus status_;
    std::atomic<bool> windowReady_{false};
};

} // namespace ardenwick
