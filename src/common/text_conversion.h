#pragma once

#include <string>
#include <string_view>

namespace ardenwick {

/// Strict UTF-8 to UTF-16; throws std::runtime_error("Invalid UTF-8 text") on malformed input.
[[nodiscard]] std::wstring utf8ToWide(std::string_view text);

/// Strict UTF-16 to UTF-8; throws std::runtime_error("Invalid UTF-16 text") on malformed input.
[[nodiscard]] std::string wideToUtf8(std::wstring_view text);

} // namespace ardenwick
