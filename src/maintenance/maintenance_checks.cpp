#include "maintenance/maintenance_checks.h"

#include "common/text_conversion.h"
#include "common/win32_file.h"
#include "download/installer_version_floor.h"
#include "download/signature_verification.h"
#include "download/version_resource.h"
#include "maintenance/expected_file_version.h"
#include "maintenance/semantic_version.h"

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

void verifyVersionedExecutable(const WidePath& path, std::string_view expectedVersion) {
    if (!hasExecutableExtension(path.filename()) || !isRegularFile(path)) {
        throw std::runtime_error("The installer path is invalid");
    }
    const std::optional<FixedFileVersion> fileVersion = readFixedFileVersion(path);
    if (!fileVersion) {
        throw std::runtime_error("The installer version is unavailable");
    }
    const auto expected = parseExpectedFileVersion(expectedVersion);
    if (!expected) {
        throw std::runtime_error("The expected installer version is invalid");
    }
    const std::uint32_t expectedMostSignificant = (std::uint32_t{(*expected)[0]} << 16) | (*expected)[1];
    const std::uint32_t expectedLeastSignificant = std::uint32_t{(*expected)[2]} << 16;
    if (fileVersion->mostSignificant != expectedMostSignificant ||
        fileVersion->leastSignificant != expectedLeastSignificant) {
        throw std::runtime_error("The installer version does not match the update");
    }
    // The signature is checked last: it is the slow step.
    verifySignedArtifact(path);
}

} // namespace ardenwick
