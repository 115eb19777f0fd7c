#pragma once

#include "common/sharing_retry.h"
#include "common/wide_path.h"
#include "download/minimum_installer_version.h"
#include "maintenance/update_feed.h"

#include <string>
#include <string_view>

namespace ardenwick {

/// What the maintenance run knows before it checks the launcher's update.
struct MaintenanceCheckContext {
    WidePath installationRoot;
    /// The hand-off's environment, "dev" or "prod".
    std::string environment;
    /// The oldest installer ProductVersion accepted: the build's floor, as for a downloaded installer.
    std::string minimumInstallerVersion = MinimumInstallerVersion;
};

/// The update installer is signed by this program's signer, declares a launcher at least as new as the
/// release requires, was built for the hand-off's environment and is not older than the context's
/// floor. Throws std::runtime_error otherwise.
void checkMaintenanceInstaller(const MaintenanceCheckContext& context, const WidePath& installerPath,
                               const UpdateRelease& release);

/// installationRoot\staging\<version>\payload.zip has the release's size and SHA-256. Throws
/// std::runtime_error, or FileSystemError "file_size" when its size is unreadable.
void checkStagedPayload(const MaintenanceCheckContext& context, const UpdateRelease& release);

/// As above, opening the package for its hash again while a scanner holds it, until the limit or a stop.
void checkStagedPayload(const MaintenanceCheckContext& context, const UpdateRelease& release,
                        const SharingRetryTimings& openRetry, const std::stop_token& stopToken);

/// The staged package path of a release version.
[[nodiscard]] WidePath stagedPayloadPath(const MaintenanceCheckContext& context, std::string_view version);

} // namespace ardenwick
