#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ardenwick {

/// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
[[nodiscard]] bool isValidUtf8(std::string_view text);

/// Strict UTF-8 to wide text (UTF-16 where wchar_t has 16 bits, UTF-32 otherwise); nothing when the
/// text is not valid UTF-8.
[[nodiscard]] std::optional<std::wstring> utf8ToWideStrict(std::string_view text);

} // namespace ardenwick
