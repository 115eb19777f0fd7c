#pragma once

#include "download/http_response.h"

#include <cstdint>
#include <optional>
#include <string>

namespace ardenwick {

/// Sends one GET and returns once the status is known, without looking at it or reading the body.
/// HTTPS only, except plain HTTP to "127.0.0.1" and "localhost"; redirects are never followed.
/// `extraHeaders` is empty or complete lines each ended by "\r\n". Throws InstallationDiagnosticError
/// named by the failing step ("url_parse", "url_scheme", "http_initialize", ... "http_status_query").
[[nodiscard]] HttpResponse openHttpGet(const std::wstring& url, const std::wstring& extraHeaders,
                                       std::uint32_t receiveTimeoutMs, std::uint32_t connectTimeoutMs);

/// The value of one response header, or nothing when it is absent or cannot be read.
[[nodiscard]] std::optional<std::wstring> queryHttpHeader(HINTERNET request, DWORD infoLevel) noexcept;

} // namespace ardenwick
