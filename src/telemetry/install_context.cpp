#include "telemetry/install_context.h"

#include "telemetry/environment.h"
#include "telemetry/web_attribution.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace ardenwick {

namespace {

constexpr std::string_view IdentifierCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.\\";

bool isContextIdentifier(const std::string& value) {
    return !value.empty() && value.size() <= 128 &&
           value.find_first_not_of(IdentifierCharacters) == std::string::npos;
}

std::optional<std::string> launcherPidText(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        return value.is_number_unsigned() ? std::to_string(value.get<std::uint64_t>())
                                          : std::to_string(value.get<std::int64_t>());
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (!(number > -9.2e18 && number < 9.2e18)) {
            return std::nullopt;
        }
        return std::to_string(static_cast<std::int64_t>(number));
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? "1" : "0";
    }
    return std::nullopt;
}

} // namespace

EventProperties parseInstallContext(std::string_view contextJson,
                                    const std::optional<std::string>& launcherPid,
                                    const std::optional<std::string>& runtimeJob) {
    if (contextJson.empty() || contextJson.size() > 8192 || !launcherPid || !runtimeJob ||
        runtimeJob->empty()) {
        return {};
    }
    const nlohmann::json context = nlohmann::json::parse(contextJson, nullptr, false);
    if (!context.is_object()) {
        return {};
    }
    const auto schema = context.find("schemaVersion");
    if (schema == context.end() || !schema->is_number() || *schema != 1) {
        return {};
    }
    const auto pid = context.find("launcherPid");
    if (pid == context.end() || launcherPidText(*pid) != *launcherPid) {
        return {};
    }
    const auto runId = context.find("app_run_id");
    if (runId == context.end() || !runId->is_string() ||
        runId->get_ref<const std::string&>() != *runtimeJob) {
        return {};
    }
    EventProperties result;
    for (const char* key : {"install_flow_id", "attempt_id", "app_run_id"}) {
        const auto found = context.find(key);
        if (found != context.end() && found->is_string() &&
            isContextIdentifier(found->get_ref<const std::string&>())) {
            result[key] = found->get<std::string>();
        }
    }
    std::string trigger = "unknown";
    if (const auto found = context.find("launch_trigger"); found != context.end()) {
        // A trigger that is not text is a type error, which leaves the whole context empty.
        if (!found->is_string()) {
            return {};
        }
        trigger = found->get<std::string>();
    }
    constexpr std::string_view Triggers[] = {"installer", "user", "startup", "update", "unknown"};
    if (std::find(std::begin(Triggers), std::end(Triggers), trigger) == std::end(Triggers)) {
        trigger = "unknown";
    }
    result["launch_trigger"] = std::move(trigger);
    for (auto& [key, value] : webAttributionFromContext(context)) {
        result[key] = std::move(value);
    }
    return result;
}

EventProperties readInstallContext() {
    // The buffers of the narrow environment reads: 8193, 32 and 256 bytes with their terminators.
    const auto context = readBoundedEnvironment("ARDENWICK_INSTALL_CONTEXT", 8193);
    if (!context || context->empty()) {
        return {};
    }
    return parseInstallContext(*context, readBoundedEnvironment("ARDENWICK_LAUNCHER_PID", 32),
                               readBoundedEnvironment("ARDENWICK_RUNTIME_JOB", 256));
}

} // namespace ardenwick
