#include "telemetry/fixed_decimal.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace ardenwick {
namespace {

std::string viaAppend(double value) {
    std::string out = "x";
    appendFixedThousandths(out, value);
    return out.substr(1);
}

std::string viaToChars(double value) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    return std::string(buffer, result.ptr);
}

TEST(FixedThousandths, WritesKnownTexts) {
    EXPECT_EQ(viaAppend(0.0), "0.000");
    EXPECT_EQ(viaAppend(-0.0), "-0.000");
    EXPECT_EQ(viaAppend(1.5), "1.500");
    EXPECT_EQ(viaAppend(-2.25), "-2.250");
    EXPECT_EQ(viaAppend(4210.0), "4210.000");
    EXPECT_EQ(viaAppend(0.0625), "0.062"); // an exact tie rounds to even
    EXPECT_EQ(viaAppend(0.1875), "0.188"); // and up when the even neighbour is above
    EXPECT_EQ(viaAppend(0.0005), "0.001"); // 0.0005 is stored a little above the tie
    EXPECT_EQ(viaAppend(-0.0001), "-0.000");
    EXPECT_EQ(viaAppend(999.9995), "1000.000");
    EXPECT_EQ(viaAppend(9007199254740993.0), "9007199254740992.000");
    EXPECT_EQ(viaAppend(1e22), "10000000000000000000000.000");
    EXPECT_EQ(viaAppend(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(viaAppend(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(viaAppend(std::numeric_limits<double>::quiet_NaN()), "nan");
    const std::string largest = viaAppend(std::numeric_limits<double>::max());
    EXPECT_EQ(largest.size(), 313U);
    EXPECT_EQ(largest.substr(0, 17), "17976931348623157");
    EXPECT_EQ(largest.substr(305), "8368.000");
}

TEST(FixedThousandths, MatchesToCharsEverywhere) {
    const double edges[] = {std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::epsilon(),
                            std::ldexp(1.0, 53),
                            std::ldexp(1.0, 63),
                            std::ldexp(1.0, 64),
                            std::ldexp(1.0, -63),
                            std::ldexp(1.0, -64),
                            std::ldexp(1.0, -65),
                            0.0015,
                            0.0025,
                            2.675,
                            1e15 + 0.5,
                            123456.7895};
    for (const double edge : edges) {
        for (const double value : {edge, -edge, std::nextafter(edge, 0.0), std::nextafter(edge, HUGE_VAL)}) {
            ASSERT_EQ(viaAppend(value), viaToChars(value)) << std::bit_cast<std::uint64_t>(value);
        }
    }
    // Every tie k/16 and k/1024 near zero, where the rounding direction matters most.
    for (int k = -4096; k <= 4096; ++k) {
        ASSERT_EQ(viaAppend(k / 16.0), viaToChars(k / 16.0)) << k;
        ASSERT_EQ(viaAppend(k / 1024.0), viaToChars(k / 1024.0)) << k;
    }
    std::mt19937_64 random(20261207);
    // Random bit patterns cover every exponent; random durations and ratios cover the usual values.
    std::uniform_real_distribution<double> usual(-100000.0, 100000.0);
    for (int i = 0; i < 200000; ++i) {
        const double pattern = std::bit_cast<double>(random());
        if (std::isfinite(pattern)) {
            ASSERT_EQ(viaAppend(pattern), viaToChars(pattern)) << std::bit_cast<std::uint64_t>(pattern);
        }
        const double common = usual(random);
        ASSERT_EQ(viaAppend(common), viaToChars(common)) << std::bit_cast<std::uint64_t>(common);
    }
}

} // namespace
} // namespace ardenwick
