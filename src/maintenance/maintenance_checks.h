#pragma once

#include "maintenance/update_feed.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace ardenwick {

/// What the maintenance run knows before it checks the launcher's update.
struct MaintenanceCheckContext {
    std::filesystem::path installationRoot;
    /// The hand-off's environment, "dev" or "prod".
    std::string environment;
};

/// The update installer is signed by this program's signer, declares a launcher at least as new as the
/// release requires, and was built for the hand-off's environment. Throws std::runtime_error otherwise.
void checkMaintenanceInstaller(const MaintenanceCheckContext& context,
                               const std::filesystem::path& installerPath, const UpdateRelease& release);

/// installationRoot\staging\<version>\payload.zip has the release's size and SHA-256. Throws
/// std::runtime_error, or std::filesystem::filesystem_error("file_size") when its size is unreadable.
void checkStagedPayload(const MaintenanceCheckContext& context, const UpdateRelease& release);

/// The executable at `path` carries exactly the file version <expectedVersion>.0 and is signed by this
/// program's signer. Throws std::runtime_error otherwise.
void verifyVersionedExecutable(const std::filesystem::path& path, std::string_view expectedVersion);

/// The staged package path of a release version.
[[nodiscard]] std::filesystem::path stagedPayloadPath(const MaintenanceCheckContext& context,
                                                      std::string_view version);

} // namespace ardenwick
