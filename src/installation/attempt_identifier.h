#pragma once

#include <string_view>

namespace ardenwick {

/// Whether a name is an identifier as newIdentifier makes them (36 upper-case hexadecimal characters
/// in 8-4-4-4-12 groups): the name of an attempt folder in the state directory.
[[nodiscard]] bool isAttemptIdentifier(std::wstring_view name) noexcept;

} // namespace ardenwick
