#include "telemetry/fixed_decimal.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace ardenwick {

namespace {

constexpr std::uint32_t LimbBase = 1000000000;

// Decimal digits of mantissa * 2^exponent, an integer of up to 309 digits.
std::string largeIntegerDigits(std::uint64_t mantissa, int exponent) {
    std::vector<std::uint32_t> limbs; // base 10^9, least significant first
    for (; mantissa != 0; mantissa /= LimbBase) {
        limbs.push_back(static_cast<std::uint32_t>(mantissa % LimbBase));
    }
    while (exponent > 0) {
        const int step = std::min(exponent, 32);
        exponent -= step;
        std::uint64_t carry = 0;
        for (auto& limb : limbs) {
            const std::uint64_t product = (std::uint64_t{limb} << step) + carry;
            limb = static_cast<std::uint32_t>(product % LimbBase);
            carry = product / LimbBase;
        }
        for (; carry != 0; carry /= LimbBase) {
            limbs.push_back(static_cast<std::uint32_t>(carry % LimbBase));
        }
    }
    if (limbs.empty()) {
        return "0";
    }
    std::string digits = std::to_string(limbs.back());
    for (auto limb = limbs.rbegin() + 1; limb != limbs.rend(); ++limb) {
        const std::string part = std::to_string(*limb);
        digits.append(9 - part.size(), '0');
        digits += part;
    }
    return digits;
}

} // namespace

void appendFixedThousandths(std::string& out, double value) {
    // std::to_chars would do, but its implementation adds some 170 KiB to the executable.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (negative) {
        out.push_back('-');
    }
    if (biasedExponent == 0x7FF) {
        out += fraction == 0 ? "inf" : "nan";
        return;
    }
    const std::uint64_t mantissa = biasedExponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int exponent = (biasedExponent == 0 ? 1 : biasedExponent) - 1075;
    if (exponent >= 0) {
        out += largeIntegerDigits(mantissa, exponent);
        out += ".000";
        return;
    }
    // mantissa * 1000 < 2^63, so the thousandths are exact in 64 bits; a shift of 64 or more leaves less
    // than half a thousandth.
    const int shift = -exponent;
    std::uint64_t thousandths = 0;
    if (shift < 64) {
        const std::uint64_t scaled = mantissa * 1000;
        thousandths = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (thousandths & 1) != 0)) {
            ++thousandths;
        }
    }
    out += std::to_string(thousandths / 1000);
    const std::string decimals = std::to_string(thousandths % 1000);
    out.push_back('.');
    out.append(3 - decimals.size(), '0');
    out += decimals;
}

} // namespace ardenwick
