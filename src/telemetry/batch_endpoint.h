#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ardenwick {

/// Where batches are posted: always HTTPS, path ending in "/batch/".
struct BatchEndpoint {
    std::wstring host;
    std::uint16_t port = 0;
    bool secure = true;
    std::wstring path;
    bool valid = false;
};

enum class DeliveryResult { Delivered = 0, Retry = 1, Rejected = 2 };

/// Splits an HTTPS base URL the way WinHttpCrackUrl does (scheme, optional user info, host, optional
/// port, path) and appends "/batch/" to the path without its trailing slashes. Anything else, and text
/// that is not valid UTF-8, gives an invalid endpoint.
[[nodiscard]] BatchEndpoint parseBatchEndpoint(std::string_view hostUrl);

/// 2xx delivered; 407, 408, 429 and 5xx and above retried; every other status rejected.
[[nodiscard]] DeliveryResult classifyBatchStatus(std::uint32_t status);

} // namespace ardenwick
