#pragma once

#include <string_view>

namespace ardenwick {

/// True for a strong entity tag that may guard a resumed download: 2 to 1024 code units, quoted, and
/// only the characters an entity tag allows between the quotes. A weak tag (W/"...") is never strong.
/// The rule looks at code unit values only, so it gives the same answer for UTF-16 and UTF-32 text.
[[nodiscard]] bool isStrongEntityTag(std::wstring_view text) noexcept;

} // namespace ardenwick
