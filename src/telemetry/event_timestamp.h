#pragma once

#include <cstdint>
#include <string>

namespace ardenwick {

/// Current time as 100-nanosecond ticks since 1970-01-01 UTC.
[[nodiscard]] std::int64_t currentEventTicks();

/// Current time as whole seconds since 1970-01-01 UTC (the outbox's clock).
[[nodiscard]] std::int64_t currentUnixSeconds();

/// "YYYY-MM-DDTHH:MM:SS.mmmZ" in UTC for ticks since 1970-01-01.
[[nodiscard]] std::string formatEventTimestamp(std::int64_t ticks);

} // namespace ardenwick
