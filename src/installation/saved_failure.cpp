#include "installation/failure_record_file.h"
#include "installation/installed_state.h"
#include "installation/online_installation_service.h"

namespace ardenwick {

// Opens the window on the failure a previous run ended with, instead of silently starting over.
void OnlineInstallationService::presentSavedFailure() noexcept {
    try {
        const std::optional<std::string> text = readFailureRecordFile(stateDirectory_);
        if (!text) {
            return;
        }
        const SavedFailureReading reading = readSavedFailure(*text);
        if (reading == SavedFailureReading::Ignore) {
            return;
        }
        InstallationStatus status{.kind = InstallationKind::InstallationFailed,
                                  .operation = "installation_failed"};
        setStatusWithoutRecord(status);
        if (reading == SavedFailureReading::FailureWithoutFlag) {
            return;
        }
        if (reading == SavedFailureReading::LaunchFailedIfInstalled &&
            validateInstalledState(applicationPath_, "")) {
            status.kind = InstallationKind::LaunchFailed;
            setStatusWithoutRecord(status);
        }
        savedFailure_ = true;
        recordBootstrapperEvent("bootstrapper_preparation_result",
                                {{"result", std::string("success")},
                                 {"stage", std::string("preparation")},
                                 {"operation", std::string("saved_failure_presented")}});
    } catch (...) {
    }
}

} // namespace ardenwick
