#pragma once

#include "telemetry/batch_endpoint.h"

#include <string>

namespace ardenwick {

/// One HTTPS POST of a JSON batch body over WinHTTP. Any failure before a status arrives is Retry.
[[nodiscard]] DeliveryResult postBatch(const BatchEndpoint& endpoint, const std::string& body);

} // namespace ardenwick
