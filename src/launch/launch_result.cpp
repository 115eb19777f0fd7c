#include "launch/launch_result.h"

namespace ardenwick {

std::string launchTrigger(bool userInitiated, bool maintenance) {
    if (userInitiated) {
        return "user";
    }
    return maintenance ? "update" : "installer";
}

const wchar_t* launcherSwitch(bool retry, bool userInitiated) {
    if (retry) {
        return L"--ardenwick-installation-retry";
    }
    return userInitiated ? L"--ardenwick-installation-open" : L"--ardenwick-installation-startup";
}

EventProperties launchResultProperties(EventProperties extra, const std::string& result,
                                       const std::string& errorCode, const std::string& trigger,
                                       std::int64_t durationMs,
                                       std::optional<std::uint32_t> launcherExitCode) {
    extra["result"] = result;
    extra["error_code"] = errorCode;
    extra["stage"] = std::string("launch");
    extra["launch_trigger"] = trigger;
    extra["duration_ms"] = durationMs;
    if (launcherExitCode) {
        extra["exit_code"] = static_cast<std::int64_t>(*launcherExitCode);
    }
    return extra;
}

} // namespace ardenwick
