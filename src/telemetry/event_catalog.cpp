#include "telemetry/event_catalog.h"

#include "telemetry/web_attribution.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace ardenwick {

namespace {

using NameSet = std::set<std::string, std::less<>>;

template <std::size_t N> bool contains(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool oneOf(std::string_view value, std::initializer_list<std::string_view> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

const std::string* stringOf(const PropertyValue& value) {
    return std::get_if<std::string>(&value);
}

} // namespace

EventCatalog::EventCatalog() {
    const NameSet lifecycle(LifecycleProperties.begin(), LifecycleProperties.end());
    for (const char* event : {"bootstrapper_started",
                              "bootstrapper_preparation_result",
                              "installer_retry",
                              "installer_download_started",
                              "installer_download_retry",
                              "installer_download_result",
                              "installer_verification_started",
                              "installer_verification_result",
                              "installer_process_requested",
                              "installer_process_started",
                              "installer_process_result",
                              "bootstrapper_launch_started",
                              "bootstrapper_launch_result",
                              "installer_started",
                              "installer_result",
                              "app_launch_started",
                              "app_launch_result",
                              "app_ready",
                              "app_first_launch",
                              "user_sign_in_viewed",
                              "user_sign_in_started"}) {
        entries_.emplace(event, lifecycle);
    }
    entries_.emplace("app_opened", NameSet{"fn_hotkey_bound", "install_flow_id", "attempt_id", "app_run_id"});
    const NameSet signIn{"auth_method",     "failure_reason", "status",
                         "install_flow_id", "attempt_id",     "app_run_id"};
    entries_.emplace("user_signed_in", signIn);
    entries_.emplace("user_registered", signIn);
    entries_.emplace("$identify", NameSet{"$set", "$anon_distinct_id"});
}

const EventCatalog& EventCatalog::instance() {
    static const EventCatalog catalog;
    return catalog;
}

const NameSet* EventCatalog::propertiesOf(std::string_view event) const {
    const auto found = entries_.find(event);
    return found == entries_.end() ? nullptr : &found->second;
}

bool isLifecycleEvent(std::string_view event) {
    for (const std::string_view prefix : {"bootstrapper_", "installer_", "app_launch_"}) {
        if (event.substr(0, prefix.size()) == prefix) {
            return true;
        }
    }
    return oneOf(event, {"app_first_launch", "app_opened", "app_ready", "user_sign_in_viewed",
                         "user_sign_in_started", "user_signed_in"});
}

bool isValidPropertyValue(std::string_view name, const PropertyValue& value) {
    if (name == "launch_trigger") {
        const auto* text = stringOf(value);
        return text != nullptr && oneOf(*text, {"installer", "user", "startup", "update", "unknown"});
    }
    if (name == "cpu_arch") {
        const auto* text = stringOf(value);
        return text != nullptr && oneOf(*text, {"x86", "x64", "arm64", "unknown"});
    }
    if (name == "is_new_installation") {
        return std::holds_alternative<bool>(value);
    }
    if (isWebAttributionKey(name)) {
        const auto* text = stringOf(value);
        return text != nullptr && isValidWebAttributionValue(name, *text);
    }
    if (oneOf(name, {"schema_version", "duration_ms", "win32_error", "exit_code", "http_status",
                     "downloaded_bytes", "total_bytes", "resumed_bytes", "retry_number", "retry_delay_ms",
                     "rename_retries", "lock_retries", "start_retries", "earlier_installer_wait_ms"})) {
        return std::holds_alternative<std::int64_t>(value);
    }
    if (name == "retryable") {
        return std::holds_alternative<bool>(value);
    }
    return std::holds_alternative<std::string>(value);
}

bool sanitizeEvent(MetricsEvent& event) {
    const NameSet* permitted = EventCatalog::instance().propertiesOf(event.name);
    if (permitted == nullptr) {
        return false;
    }
    const bool lifecycle = isLifecycleEvent(event.name);
    std::erase_if(event.properties, [&](const auto& property) {
        const auto& [name, value] = property;
        const bool kept = permitted->contains(name) || (lifecycle && contains(ContextKeys, name)) ||
                          (event.name == "app_first_launch" && name == "is_new_installation");
        if (!kept) {
            return true;
        }
        // The type rules bind the lifecycle events; the application's own events keep their values.
        if (lifecycle && !isValidPropertyValue(name, value)) {
            return true;
        }
        const auto* number = std::get_if<double>(&value);
        return number != nullptr && !std::isfinite(*number);
    });
    return true;
}

} // namespace ardenwick
