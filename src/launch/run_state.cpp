#include "launch/run_state.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace ardenwick {

std::uint64_t parseLauncherProtocolVersion(std::string_view text) {
    const auto document = nlohmann::json::parse(text.begin(), text.end());
    if (!document.is_object()) {
        throw std::runtime_error("Launcher protocol file is not an object");
    }
    const auto version = document.find("protocolVersion");
    if (version == document.end()) {
        return 0;
    }
    if (!version->is_number_unsigned()) {
        throw std::runtime_error("Launcher protocol version is not an unsigned integer");
    }
    return version->get<std::uint64_t>();
}

std::optional<RecoveryState> parseReadyRecoveryState(std::string_view text) {
    const auto document = nlohmann::json::parse(text.begin(), text.end());
    if (!document.is_object()) {
        return std::nullopt;
    }
    const auto ready = document.find("applicationReady");
    if (ready == document.end() || !ready->is_boolean() || !ready->get<bool>()) {
        return std::nullopt;
    }
    const auto intent = document.find("intent");
    if (intent == document.end() || !intent->is_string() || intent->get<std::string>() != "running") {
        return std::nullopt;
    }
    const auto runId = document.find("runId");
    if (runId == document.end() || !runId->is_string()) {
        return std::nullopt;
    }
    RecoveryState state;
    state.runId = runId->get<std::string>();
    if (!state.runId.starts_with(RuntimeJobPrefix)) {
        return std::nullopt;
    }
    const auto pid = document.find("applicationPid");
    if (pid != document.end()) {
        if (pid->is_number_unsigned()) {
            state.applicationPid = pid->get<std::uint64_t>();
        } else if (pid->is_number_integer()) {
            // A negative id names no process; it can never be proven.
            return std::nullopt;
        } else if (pid->is_number_float()) {
            // A floating-point id is truncated toward zero, as an integer conversion would.
            const double value = pid->get<double>();
            if (!std::isfinite(value) || value < 0 || value >= 18446744073709551616.0) {
                return std::nullopt;
            }
            state.applicationPid = static_cast<std::uint64_t>(value);
        } else {
            return std::nullopt;
        }
    }
    return state;
}

std::u16string runtimeJobName(std::string_view runId) {
    std::u16string name;
    name.reserve(runId.size());
    for (char byte : runId) {
        name.push_back(static_cast<char16_t>(static_cast<std::int16_t>(static_cast<signed char>(byte))));
    }
    return name;
}

} // namespace ardenwick
