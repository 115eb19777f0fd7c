#pragma once

#include "telemetry/event_properties.h"

#include <cstdint>
#include <optional>
#include <string>

namespace ardenwick {

/// Why the launcher was started: "user", "update" or "installer".
[[nodiscard]] std::string launchTrigger(bool userInitiated, bool maintenance);

/// The launcher's only parameter: retry, open or startup.
[[nodiscard]] const wchar_t* launcherSwitch(bool retry, bool userInitiated);

/// The properties of "bootstrapper_launch_result": the caller's extra properties, then "result",
/// "error_code", "stage", "launch_trigger" and "duration_ms" (replacing any of the same name), and
/// "exit_code" (zero-extended) when the launcher was seen to exit.
[[nodiscard]] EventProperties launchResultProperties(EventProperties extra, const std::string& result,
                                                     const std::string& errorCode, const std::string& trigger,
                                                     std::int64_t durationMs,
                                                     std::optional<std::uint32_t> launcherExitCode);

} // namespace ardenwick
