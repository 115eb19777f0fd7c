#pragma once

#include "telemetry/event_properties.h"

#include <string>

namespace ardenwick {

class PostHogMetrics;

/// The run context that every installer event carries.
struct BootstrapperEventContext {
    std::string installFlowId;
    std::string attemptId;
    std::string installerVersion;
    std::string launcherVersion;
    EventProperties webAttribution;
    std::string distinctId;
};

/// The bootstrapper envelope: "source", "environment", "schema_version", "bootstrapper_version",
/// "install_flow_id", the web attribution and the known attempt and versions.
[[nodiscard]] EventProperties bootstrapperEventProperties(EventProperties properties,
                                                          const BootstrapperEventContext& context);

/// Records one installer event through the client (nothing without one). Never throws.
void recordBootstrapperEvent(PostHogMetrics* client, const BootstrapperEventContext& context,
                             const std::string& name, EventProperties properties) noexcept;

} // namespace ardenwick
