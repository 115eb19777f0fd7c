#include "maintenance/maintenance_checks.h"

#include "common/semantic_version.h"
#include "common/text_conversion.h"
#include "download/installer_version_floor.h"
#include "download/signature_verification.h"
#include "download/version_resource.h"

#include <stdexcept>

namespace ardenwick {
namespace {

std::string readMaintenanceString(const WidePath& path, std::wstring_view key) {
    static constexpr VersionStringMessages maintenanceMessages{
        "Installer maintenance metadata is missing", "Installer maintenance metadata cannot be read",
        "Installer maintenance metadata translation is invalid", "Installer maintenance metadata is invalid"};
    return wideToUtf8(readUsEnglishVersionString(path, key, maintenanceMessages));
}

} // namespace

WidePath stagedPayloadPath(const MaintenanceCheckContext& context, std::string_view version) {
    return context.installationRoot / L"staging" / utf8ToWide(version) / L"payload.zip";
}

void checkMaintenanceInstaller(const MaintenanceCheckContext& context, const WidePath& installerPath,
                               const UpdateRelease& release) {
    verifySignedArtifact(installerPath);

    const std::string launcherVersionText = readMaintenanceString(installerPath, L"ArdenwickLauncherVersion");
    const SemanticVersion launcherVersion = parseSemanticVersion(launcherVersionText);
    const SemanticVersion minimumVersion = parseSemanticVersion(release.minimumLauncherVersion);
    // An installer older than the build's floor is one more installer that does not qualify: the same
    // failure as an older launcher, which the run turns into "installation_failed" like any other.
    if (launcherVersion.valid && minimumVersion.valid &&
        compareSemanticVersions(launcherVersion, minimumVersion) >= 0 &&
        readMaintenanceString(installerPath, L"ArdenwickLauncherEnvironment") == context.environment &&
        meetsInstallerVersionFloor(readMaintenanceString(installerPath, L"ProductVersion"),
                                   context.minimumInstallerVersion)) {
        return;
    }
    throw std::runtime_error("Maintenance installer has the wrong environment or an older Launcher");
}

} // namespace ardenwick
