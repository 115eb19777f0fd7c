#include "download/installer_metadata.h"

#include "common/installation_diagnostic_error.h"
#include "common/text_conversion.h"
#include "common/version_text.h"
#include "download/installer_version_floor.h"
#include "download/version_resource.h"

namespace ardenwick {

void checkInstallerMetadata(const WidePath& path, InstallerVersions& versions,
                            std::string_view minimumProductVersion) {
    versions.productVersion = wideToUtf8(readVersionString(path, L"ProductVersion"));
    versions.launcherVersion = wideToUtf8(readVersionString(path, L"ArdenwickLauncherVersion"));
    if (!isVersionText(versions.productVersion) || !isVersionText(versions.launcherVersion)) {
        throw InstallationDiagnosticError("installer_metadata_mismatch");
    }
    if (readVersionString(path, L"ProductName") != L"Ardenwick") {
        throw InstallationDiagnosticError("installer_metadata_mismatch");
    }
    if (readVersionString(path, L"ArdenwickLauncherEnvironment") != L"prod") {
        throw InstallationDiagnosticError("installer_metadata_mismatch");
    }
    // An older release that we once signed is still trusted by its signature: refuse it by version.
    if (!meetsInstallerVersionFloor(versions.productVersion, minimumProductVersion)) {
        throw InstallationDiagnosticError("installer_metadata_mismatch");
    }
}

} // namespace ardenwick
