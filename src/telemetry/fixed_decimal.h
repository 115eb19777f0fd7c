#pragma once

#include <string>

namespace ardenwick {

/// Appends `value` with exactly three decimals, rounded half to even from its exact binary value: the
/// text std::to_chars(first, last, value, std::chars_format::fixed, 3) writes ("-0.000", "inf", "-nan"
/// included). Locale-independent.
void appendFixedThousandths(std::string& out, double value);

} // namespace ardenwick
