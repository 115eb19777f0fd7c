#include "maintenance/maintenance_handoff.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace ardenwick {

MaintenanceHandoff parseMaintenanceHandoff(std::string_view text) {
    const auto document = nlohmann::json::parse(text.begin(), text.end());
    if (!document.is_object()) {
        throw std::runtime_error("maintenance_handoff_invalid");
    }
    MaintenanceHandoff handoff;
    handoff.environment = document.at("environment").get<std::string>();
    // The hand-off is an update feed in its own right; its release list is checked by the feed rules.
    const UpdateFeed feed = parseUpdateFeed(document.dump(), handoff.environment, "x64");
    if (feed.releases.size() != 1) {
        throw std::runtime_error("maintenance_handoff_invalid");
    }
    const auto relaunch = document.find("relaunch");
    if (relaunch != document.end()) {
        handoff.relaunch = relaunch->get<bool>();
    }
    handoff.release = feed.releases.front();
    return handoff;
}

std::wstring maintenanceInstallerCommandLine(std::wstring_view installerPath, std::wstring_view recordPath,
                                             std::uint32_t applicationProcessId,
                                             std::uint32_t launcherProcessId,
                                             std::wstring_view installationRoot) {
    std::wstring line = L"\"";
    line += installerPath;
    line += L"\" /S /ardenwickBootstrapper=1 /ardenwickLauncherMaintenance=1 /ardenwickInstallRecord=\"";
    line += recordPath;
    line += L"\" /ardenwickWaitForAppPid=" + std::to_wstring(applicationProcessId);
    line += L" /ardenwickWaitForLauncherPid=" + std::to_wstring(launcherProcessId);
    line += L" /D=";
    line += installationRoot;
    return line;
}

} // namespace ardenwick
