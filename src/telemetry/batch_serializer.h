#pragma once

#include "telemetry/metrics_event.h"

#include <string>
#include <string_view>
#include <vector>

namespace ardenwick {

/// JSON string escaping of the batch body: quote, backslash, the five short control escapes, "\u%04x"
/// for the other control bytes; every other byte (0x7F and UTF-8 sequences included) unchanged.
[[nodiscard]] std::string escapeJsonString(std::string_view text);

/// The PostHog batch body, with no white space: {"api_key":…,"batch":[{"event","uuid","properties",
/// "timestamp"}…]}, "distinct_id" first in each properties object.
[[nodiscard]] std::string serializeBatch(std::string_view apiKey, const std::vector<MetricsEvent>& events);

} // namespace ardenwick
