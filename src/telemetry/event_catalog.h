#pragma once

#include "telemetry/event_properties.h"
#include "telemetry/metrics_event.h"

#include <array>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace ardenwick {

/// The properties every installer and bootstrapper event may carry, in catalogue order.
inline constexpr std::array<std::string_view, 33> LifecycleProperties{"environment",
                                                                      "source",
                                                                      "schema_version",
                                                                      "occurred_at",
                                                                      "install_flow_id",
                                                                      "attempt_id",
                                                                      "app_run_id",
                                                                      "bootstrapper_version",
                                                                      "installer_version",
                                                                      "launcher_version",
                                                                      "app_version",
                                                                      "result",
                                                                      "stage",
                                                                      "duration_ms",
                                                                      "error_code",
                                                                      "win32_error",
                                                                      "exit_code",
                                                                      "retryable",
                                                                      "previous_attempt_id",
                                                                      "auth_method",
                                                                      "status",
                                                                      "failure_reason",
                                                                      "operation",
                                                                      "http_status",
                                                                      "downloaded_bytes",
                                                                      "total_bytes",
                                                                      "resumed_bytes",
                                                                      "retry_number",
                                                                      "retry_delay_ms",
                                                                      "rename_retries",
                                                                      "lock_retries",
                                                                      "start_retries",
                                                                      "earlier_installer_wait_ms"};

/// Run context that lifecycle events may carry beside their own set.
inline constexpr std::array<std::string_view, 9> ContextKeys{
    "launch_trigger", "cpu_arch",         "installation_id", "web_distinct_id", "web_utm_source",
    "web_utm_medium", "web_utm_campaign", "web_utm_term",    "web_utm_content"};

/// The fixed table from event name to the property names it may carry. Built once, never changed.
class EventCatalog {
public:
    [[nodiscard]] static const EventCatalog& instance();

    /// The permitted names of an event, or null when the event is not tracked.
    [[nodiscard]] const std::set<std::string, std::less<>>* propertiesOf(std::string_view event) const;

private:
    EventCatalog();
    std::map<std::string, std::set<std::string, std::less<>>, std::less<>> entries_;
};

/// Names starting with "bootstrapper_", "installer_" or "app_launch_", and the six named lifecycle events.
[[nodiscard]] bool isLifecycleEvent(std::string_view event);

/// The type and value rules of lifecycle event properties.
[[nodiscard]] bool isValidPropertyValue(std::string_view name, const PropertyValue& value);

/// Keeps only permitted, well-typed, finite properties. Returns false when the event is not tracked.
[[nodiscard]] bool sanitizeEvent(MetricsEvent& event);

} // namespace ardenwick
