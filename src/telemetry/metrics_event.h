#pragma once

#include "telemetry/event_properties.h"

#include <cstdint>
#include <string>

namespace ardenwick {

/// One analytics event in memory.
struct MetricsEvent {
    std::string name;
    EventProperties properties;
    /// 100-nanosecond ticks since 1970-01-01 UTC (not the 1601 epoch of FILETIME).
    std::int64_t occurredAt = 0;
    std::string distinctId;
    std::string uuid;
    /// Failed deliveries of this event from the memory queue.
    std::uint32_t attempts = 0;
};

} // namespace ardenwick
