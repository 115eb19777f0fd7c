#include "installation/state_directory.h"

#include "common/installation_diagnostic_error.h"
#include "common/user_state.h"

namespace ardenwick {

WidePath normalStateDirectory() {
    const auto folder = localAppDataFolder();
    if (!folder) {
        throw InstallationDiagnosticError("local_data_unavailable");
    }
    return WidePath(*folder) / L"Ardenwick" / L"Installation";
}

WidePath maintenanceStateDirectory(const WidePath& installationRoot) {
    return installationRoot / L"state" / L"maintenance-ui";
}

} // namespace ardenwick
