#pragma once

#include <compare>
#include <cstdint>
#include <string_view>

namespace ardenwick {

/// MAJOR.MINOR.PATCH as the launcher's documents write it. `valid` is false for any other text, and
/// the components are then zero.
struct SemanticVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    bool valid = false;
};

/// Exactly three components of 1 to 9 ASCII digits, no leading zero unless the component is "0".
/// Never throws.
[[nodiscard]] SemanticVersion parseSemanticVersion(std::string_view text) noexcept;

/// Component-wise numeric order, major first (the valid flag is not compared).
[[nodiscard]] std::strong_ordering compareSemanticVersions(const SemanticVersion& left,
                                                           const SemanticVersion& right) noexcept;

} // namespace ardenwick
