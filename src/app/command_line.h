#pragma once

#include "common/maintenance_request.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace ardenwick {

inline constexpr std::wstring_view MaintenanceSwitch = L"--maintenance";
inline constexpr std::wstring_view ReadyEventPrefix = L"Local\\Ardenwick.MaintenanceUi.";
inline constexpr std::size_t MaxReadyEventNameLength = 128;

/// The mode a command line asks for: normal when `maintenance` is empty.
struct StartupArguments {
    std::optional<MaintenanceRequest> maintenance;
};

/// Parses a process id argument: a non-empty run of the digits 0-9 (leading zeros allowed) whose value
/// fits 32 bits. Throws std::runtime_error("Invalid maintenance process") otherwise.
[[nodiscard]] std::uint32_t parseMaintenanceProcessId(std::wstring_view text);

/// Empty, or the maintenance prefix followed by anything, at most 128 characters in all.
[[nodiscard]] bool isAcceptableReadyEventName(std::wstring_view name) noexcept;

/// Splits the arguments (argument 0 is the program) into a mode. Returns nothing for any command line
/// the program refuses; throws "Invalid maintenance process" for a bad process id.
[[nodiscard]] std::optional<StartupArguments>
parseStartupArguments(std::span<const std::wstring_view> arguments);

} // namespace ardenwick
