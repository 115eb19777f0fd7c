#pragma once

#include "common/wide_path.h"
#include "download/minimum_installer_version.h"

#include <string>
#include <string_view>

namespace ardenwick {

/// The two versions that a downloaded installer declares (UTF-8).
struct InstallerVersions {
    std::string productVersion;
    std::string launcherVersion;
};

/// Accepts the file only as this application's production installer with well-formed versions and a
/// product version not below `minimumProductVersion` (the build's floor; tests name others). Each
/// version is stored into `versions` as soon as it has been read, so the caller keeps it even when the
/// check then fails. Throws InstallationDiagnosticError("installer_metadata_mismatch") when the file
/// does not qualify, or the runtime error of readVersionString when a string is missing or unreadable.
void checkInstallerMetadata(const WidePath& path, InstallerVersions& versions,
                            std::string_view minimumProductVersion = MinimumInstallerVersion);

} // namespace ardenwick
