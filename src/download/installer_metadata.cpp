#include "download/installer_metadata.h"

#include "download/text_conversion.h"
#include "download/version_resource.h"
#include "installation/installation_diagnostic_error.h"
#include "installation/version_text.h"

namespace ardenwick {

void checkInstallerMetadata(const std::filesystem::path& path, InstallerVersions& versions) {
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
