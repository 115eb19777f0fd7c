#include "telemetry/bootstrapper_event.h"

#include "telemetry/event_timestamp.h"
#include "telemetry/posthog_metrics.h"

namespace ardenwick {

EventProperties bootstrapperEventProperties(EventProperties properties,
                                            const BootstrapperEventContext& context) {
    properties.try_emplace("source", std::string("bootstrapper"));
    properties["environment"] = std::string("prod");
    properties["schema_version"] = std::int64_t{1};
    properties["bootstrapper_version"] = std::string("1.0.2");
    properties["install_flow_id"] = context.installFlowId;
    for (const auto& [key, value] : context.webAttribution) {
        properties[key] = value;
    }
    if (!context.attemptId.empty()) {
        properties["attempt_id"] = context.attemptId;
    }
    if (!context.installerVersion.empty()) {
        properties["installer_version"] = context.installerVersion;
    }
    if (!context.launcherVersion.empty()) {
        properties["launcher_version"] = context.launcherVersion;
    }
    return properties;
}

void recordBootstrapperEvent(PostHogMetrics* client, const BootstrapperEventContext& context,
                             const std::string& name, EventProperties properties) noexcept {
    if (client == nullptr) {
        return;
    }
    try {
        MetricsEvent event;
        event.name = name;
        event.properties = bootstrapperEventProperties(std::move(properties), context);
        event.occurredAt = currentEventTicks();
        client->recordDurable(std::move(event), context.distinctId);
    } catch (...) {
    }
}

} // namespace ardenwick
