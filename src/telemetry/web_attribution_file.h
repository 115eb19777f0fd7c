#pragma once

#include "common/wide_path.h"
#include "telemetry/event_properties.h"

#include <string_view>

namespace ardenwick {

/// The web attribution of a downloaded file, from its ":Zone.Identifier" stream; empty on any failure.
[[nodiscard]] EventProperties readWebAttribution(const WidePath& executable, std::string_view expected);

} // namespace ardenwick
