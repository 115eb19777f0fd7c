#include "installation/state_directory.h"

#include "common/installation_diagnostic_error.h"
#include "common/unique_handle.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace ardenwick {

WidePath normalStateDirectory() {
    UniqueCoTaskMemory<PWSTR> folder;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, folder.put())) || !folder) {
        throw InstallationDiagnosticError("local_data_unavailable");
    }
    return WidePath(folder.get()) / L"Ardenwick" / L"Installation";
}

WidePath maintenanceStateDirectory(const WidePath& installationRoot) {
    return installationRoot / L"state" / L"maintenance-ui";
}

} // namespace ardenwick
