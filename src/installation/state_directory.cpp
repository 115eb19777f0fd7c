#include "installation/state_directory.h"

#include "common/unique_handle.h"
#include "installation/installation_diagnostic_error.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace ardenwick {

std::filesystem::path normalStateDirectory() {
    UniqueCoTaskMemory<PWSTR> folder;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, folder.put())) || !folder) {
        throw InstallationDiagnosticError("local_data_unavailable");
    }
    return std::filesystem::path(folder.get()) / L"Ardenwick" / L"Installation";
}

std::filesystem::path maintenanceStateDirectory(const std::filesystem::path& installationRoot) {
    return installationRoot / L"state" / L"maintenance-ui";
}

} // namespace ardenwick
