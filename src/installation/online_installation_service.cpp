#include "installation/online_installation_service.h"

#include "installation/identifier.h"
#include "installation/install_location.h"
#include "installation/state_directory.h"

namespace ardenwick {

OnlineInstallationService::OnlineInstallationService(std::optional<MaintenanceRequest> maintenance)
    : maintenance_(std::move(maintenance)) {
    if (maintenance_) {
        // Everything of a maintenance run lives under the installation root; LocalAppData is never asked
        // for and no analytics are recorded.
        const std::filesystem::path root(maintenance_->installationRoot);
        stateDirectory_ = maintenanceStateDirectory(root);
        applicationPath_ = root / LauncherFileName;
        return;
    }
    stateDirectory_ = normalStateDirectory();
    installFlowId_ = newIdentifier();
    applicationPath_ = readInstallLocation();
}

InstallationStatus OnlineInstallationService::currentStatus() const {
    std::lock_guard lock(statusMutex_);
    return status_;
}

} // namespace ardenwick
