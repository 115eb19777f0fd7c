#pragma once

#include <cstdint>
#include <string_view>

namespace ardenwick {

/// True when a Content-Range value (UTF-8) is exactly "bytes <first>-<last>/<complete>" and names the
/// range from `offset` to the last byte of a file of `total` bytes. An asterisk as complete length,
/// signs, spaces, empty or overflowing numbers never match.
[[nodiscard]] bool contentRangeMatches(std::string_view value, std::uint64_t offset,
                                       std::uint64_t total) noexcept;

} // namespace ardenwick
