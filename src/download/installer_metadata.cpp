#include "download/installer_metadata.h"

#include "common/installation_diagnostic_error.h"
#include "common/text_conversion.h"
#include "common/version_text.h"
#include "download/version_resource.h"

namespace ardenwick {

void checkInstallerMetadata(const WidePath& path, InstallerVersions& versions) {
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
}

} // namespace ardenwick
