#pragma once

#include <string_view>

namespace ardenwick {

/// The transport's scheme rule: HTTPS goes anywhere; any other scheme only to the loopback hosts
/// written exactly "127.0.0.1" or "localhost" (case-sensitive), so that tests and demos can serve the
/// installer in clear text without opening that door for real hosts.
[[nodiscard]] bool isRequestSchemeAllowed(bool secureScheme, std::wstring_view host) noexcept;

} // namespace ardenwick
