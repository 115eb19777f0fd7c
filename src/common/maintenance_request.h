#pragma once

#include <cstdint>
#include <string>

namespace ardenwick {

/// What the launcher hands over on the maintenance command line.
struct MaintenanceRequest {
    std::wstring installationRoot;
    std::wstring installerPath;
    std::uint32_t applicationProcessId = 0;
    std::uint32_t launcherProcessId = 0;
    std::wstring readyEventName;
};

} // namespace ardenwick
