#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>

namespace ardenwick {

/// A JSON number read as an unsigned 64-bit value; a floating-point value is truncated. A negative
/// number or one of 2^64 and above (which a plain conversion would wrap, or for a floating-point value
/// leave undefined) gives nothing. A value that is no number raises the JSON library's type error.
[[nodiscard]] std::optional<std::uint64_t> unsignedNumber(const nlohmann::json& value);

} // namespace ardenwick
