#pragma once

#include "telemetry/event_properties.h"

#include <exception>
#include <string_view>

namespace ardenwick {

/// Turns a caught exception into the analytics properties that name the failing operation and its
/// codes: "error_code" and "operation" (the diagnostic's operation, else `defaultCode`), and
/// "win32_error", "http_status", "downloaded_bytes", "total_bytes", "resumed_bytes" when known.
[[nodiscard]] EventProperties failureDiagnosticProperties(const std::exception& error,
                                                          std::string_view defaultCode);

} // namespace ardenwick
