// The install context arrives in an environment variable that whoever starts the application sets. The
// first input byte chooses which of the launcher pid and runtime job are present; the rest is the JSON.
// Whatever it holds, parsing never throws, keeps only valid keys and values, and yields nothing unless the
// context names this launcher and this runtime job.
#include "telemetry/install_context.h"
#include "telemetry/web_attribution.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

const std::string LauncherPid = "4242";
const std::string RuntimeJob = "ArdenwickRuntime-5f1c.2";

bool isIdentifier(const std::string& value) {
    constexpr std::string_view Allowed =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.\\";
    return !value.empty() && value.size() <= 128 && value.find_first_not_of(Allowed) == std::string::npos;
}

void checkValues(const ardenwick::EventProperties& context) {
    for (const auto& [key, value] : context) {
        const auto* text = std::get_if<std::string>(&value);
        if (text == nullptr) {
            __builtin_trap();
        }
        if (key == "install_flow_id" || key == "attempt_id" || key == "app_run_id") {
            if (!isIdentifier(*text)) {
                __builtin_trap();
            }
        } else if (key == "launch_trigger") {
            constexpr std::string_view Triggers[] = {"installer", "user", "startup", "update", "unknown"};
            if (std::find(std::begin(Triggers), std::end(Triggers), *text) == std::end(Triggers)) {
                __builtin_trap();
            }
        } else if (!ardenwick::isWebAttributionKey(key) ||
                   !ardenwick::isValidWebAttributionValue(key, *text)) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view json(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::optional<std::string> pid = (data[0] & 1) == 0 ? std::optional(LauncherPid) : std::nullopt;
    const std::optional<std::string> job = (data[0] & 2) == 0 ? std::optional(RuntimeJob) : std::nullopt;

    const ardenwick::EventProperties context = ardenwick::parseInstallContext(json, pid, job);
    checkValues(context);
    if (context.empty()) {
        return 0;
    }
    // A context is only ever this launcher's and this job's, and always says how the run was triggered.
    const auto runId = context.find("app_run_id");
    if (!pid || !job || json.size() > 8192 || !context.contains("launch_trigger") || runId == context.end() ||
        std::get<std::string>(runId->second) != RuntimeJob) {
        __builtin_trap();
    }
    if (!ardenwick::parseInstallContext(json, std::string("4243"), job).empty() ||
        !ardenwick::parseInstallContext(json, pid, std::string("ArdenwickRuntime-5f1c.3")).empty() ||
        !ardenwick::parseInstallContext(json, pid, std::string()).empty()) {
        __builtin_trap();
    }
    return 0;
}
