#pragma once

#include "maintenance/update_feed.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ardenwick {

inline constexpr std::uintmax_t MaxMaintenanceHandoffBytes = 1048576;

/// What the launcher hands over for one maintenance run.
struct MaintenanceHandoff {
    std::string environment;
    bool relaunch = true;
    UpdateRelease release;
};

/// Parses "launcher-maintenance.json": an update feed for its own environment and x64 holding exactly
/// one release, with an optional boolean "relaunch". Throws on any broken rule.
[[nodiscard]] MaintenanceHandoff parseMaintenanceHandoff(std::string_view text);

/// The maintenance installer's command line; "/D=" comes last and unquoted, as NSIS requires.
[[nodiscard]] std::wstring maintenanceInstallerCommandLine(std::wstring_view installerPath,
                                                           std::wstring_view recordPath,
                                                           std::uint32_t applicationProcessId,
                                                           std::uint32_t launcherProcessId,
                                                           std::wstring_view installationRoot);

} // namespace ardenwick
