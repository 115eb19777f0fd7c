#include "download/content_range.h"

#include <gtest/gtest.h>

#include <string>

namespace ardenwick {
namespace {

TEST(ContentRange, MatchesOnlyTheRangeFromTheOffsetToTheEnd) {
    EXPECT_TRUE(contentRangeMatches("bytes 500-999/1000", 500, 1000));
    EXPECT_TRUE(contentRangeMatches("bytes 0-0/1", 0, 1));
    EXPECT_TRUE(contentRangeMatches("bytes 999-999/1000", 999, 1000));
    EXPECT_TRUE(contentRangeMatches("bytes 18446744073709551614-18446744073709551614/18446744073709551615",
                                    18446744073709551614ull, 18446744073709551615ull));

    EXPECT_FALSE(contentRangeMatches("bytes 500-998/1000", 500, 1000)) << "ends before the last byte";
    EXPECT_FALSE(contentRangeMatches("bytes 500-1000/1000", 500, 1000)) << "last byte past the end";
    EXPECT_FALSE(contentRangeMatches("bytes 500-999/1001", 500, 1001)) << "not the rest of the file";
    EXPECT_FALSE(contentRangeMatches("bytes 500-999/1000", 500, 2000)) << "other complete length";
    EXPECT_FALSE(contentRangeMatches("bytes 499-999/1000", 500, 1000)) << "other offset";
    EXPECT_FALSE(contentRangeMatches("bytes 500-999/*", 500, 1000)) << "unknown complete length";
    EXPECT_FALSE(contentRangeMatches("bytes 600-500/1000", 600, 1000)) << "last before first";
}

TEST(ContentRange, RefusesAnyOtherSyntax) {
    for (const char* bad : {"",
                            "bytes",
                            "bytes ",
                            "bytes 5",
                            "bytes 500-999",
                            "bytes 500-999/",
                            "bytes -999/1000",
                            "bytes 500-/1000",
                            "Bytes 500-999/1000",
                            "bytes  500-999/1000",
                            "bytes=500-999/1000",
                            "bytes 500 -999/1000",
                            "bytes 500- 999/1000",
                            "bytes 500-999 /1000",
                            "bytes 500-999/1000 ",
                            " bytes 500-999/1000",
                            "bytes +500-999/1000",
                            "bytes 500-+999/1000",
                            "bytes 500-999/+1000",
                            "bytes 500-999/1000/1000",
                            "bytes 500-999-999/1000",
                            "bytes 0x1f4-999/1000",
                            "items 500-999/1000",
                            "bytes */1000"}) {
        EXPECT_FALSE(contentRangeMatches(bad, 500, 1000)) << bad;
    }
    EXPECT_FALSE(contentRangeMatches(std::string("bytes 500-999/1000\0", 19), 500, 1000));
    EXPECT_FALSE(contentRangeMatches(std::string("bytes 500\0-999/1000", 19), 500, 1000));
}

TEST(ContentRange, RefusesNumbersThatOverflow) {
    EXPECT_FALSE(contentRangeMatches("bytes 0-18446744073709551615/18446744073709551616", 0, 0));
    EXPECT_FALSE(contentRangeMatches("bytes 18446744073709551616-1/2", 0, 2));
    // The complete length is the largest value: the last position + 1 would overflow and must not wrap.
    EXPECT_FALSE(
        contentRangeMatches("bytes 0-18446744073709551615/18446744073709551615", 0, 18446744073709551615ull));
    // Leading zeros are digits like any other and do not count as an overflow.
    EXPECT_TRUE(contentRangeMatches("bytes 00000000000000000000000500-999/1000", 500, 1000));
}

} // namespace
} // namespace ardenwick
