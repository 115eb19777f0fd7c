#include "app/command_line.h"

#include "common/absolute_path.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace ardenwick {

std::uint32_t parseMaintenanceProcessId(std::wstring_view text) {
    if (text.empty()) {
        throw std::runtime_error("Invalid maintenance process");
    }
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            throw std::runtime_error("Invalid maintenance process");
        }
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
        // Checked per digit so that a long run of digits can never overflow the accumulator.
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            throw std::runtime_error("Invalid maintenance process");
        }
    }
    return static_cast<std::uint32_t>(value);
}

bool isAcceptableReadyEventName(std::wstring_view name) noexcept {
    return name.empty() || (name.starts_with(ReadyEventPrefix) && name.size() <= MaxReadyEventNameLength);
}

std::optional<StartupArguments> parseStartupArguments(std::span<const std::wstring_view> arguments) {
    if (arguments.size() == 1) {
        return StartupArguments{};
    }
    if (arguments.size() != 7 || arguments[1] != MaintenanceSwitch) {
        return std::nullopt;
    }
    MaintenanceRequest request;
    request.installationRoot = std::wstring(arguments[2]);
    request.installerPath = std::wstring(arguments[3]);
    request.applicationProcessId = parseMaintenanceProcessId(arguments[4]);
    request.launcherProcessId = parseMaintenanceProcessId(arguments[5]);
    request.readyEventName = std::wstring(arguments[6]);
    if (!isAbsolutePath(request.installationRoot) || !isAbsolutePath(request.installerPath)) {
        return std::nullopt;
    }
    if (!isAcceptableReadyEventName(request.readyEventName)) {
        return std::nullopt;
    }
    return StartupArguments{std::move(request)};
}

} // namespace ardenwick
