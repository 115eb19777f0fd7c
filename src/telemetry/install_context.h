#pragma once

#include "telemetry/event_properties.h"

#include <optional>
#include <string>
#include <string_view>

namespace ardenwick {

/// The install context the launcher hands to the application: "install_flow_id", "attempt_id",
/// "app_run_id", "launch_trigger" and the valid web attribution keys. Empty unless the JSON object has
/// schemaVersion 1, a launcherPid equal to launcherPid and an app_run_id equal to a non-empty runtimeJob.
[[nodiscard]] EventProperties parseInstallContext(std::string_view contextJson,
                                                  const std::optional<std::string>& launcherPid,
                                                  const std::optional<std::string>& runtimeJob);

/// parseInstallContext of ARDENWICK_INSTALL_CONTEXT (1 to 8192 characters), ARDENWICK_LAUNCHER_PID
/// and ARDENWICK_RUNTIME_JOB from the process environment.
[[nodiscard]] EventProperties readInstallContext();

} // namespace ardenwick
