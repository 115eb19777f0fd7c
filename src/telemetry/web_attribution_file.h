#pragma once

#include "telemetry/event_properties.h"

#include <filesystem>
#include <string_view>

namespace ardenwick {

/// The web attribution of a downloaded file, from its ":Zone.Identifier" stream; empty on any failure.
[[nodiscard]] EventProperties readWebAttribution(const std::filesystem::path& executable,
                                                 std::string_view expected);

} // namespace ardenwick
