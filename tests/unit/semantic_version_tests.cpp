#include "common/semantic_version.h"
#include "download/expected_file_version.h"

#include <gtest/gtest.h>

#include <string>

namespace ardenwick {
namespace {

TEST(SemanticVersion, ParsesThreeComponents) {
    const SemanticVersion version = parseSemanticVersion("1.2.3");
    EXPECT_TRUE(version.valid);
    EXPECT_EQ(version.major, 1U);
    EXPECT_EQ(version.minor, 2U);
    EXPECT_EQ(version.patch, 3U);
    EXPECT_TRUE(parseSemanticVersion("0.0.0").valid);
    const SemanticVersion largest = parseSemanticVersion("999999999.10.0");
    EXPECT_TRUE(largest.valid);
    EXPECT_EQ(largest.major, 999999999U);
    EXPECT_EQ(largest.minor, 10U);
}

TEST(SemanticVersion, RejectsEverythingElse) {
    for (const char* bad :
         {"",           "1",       "1.2",    "1.2.3.4", "01.2.3", "1.02.3",         "1.2.03",
          "1.2.3-beta", "1.2.3+b", "1..3",   ".1.2",    "1.2.",   "1234567890.0.0", " 1.2.3",
          "1.2.3 ",     "v1.2.3",  "-1.2.3", "+1.2.3",  "1.2.x",  "1.2.3\n"}) {
        const SemanticVersion version = parseSemanticVersion(bad);
        EXPECT_FALSE(version.valid) << bad;
        EXPECT_EQ(version.major + version.minor + version.patch, 0U) << bad;
    }
    EXPECT_FALSE(parseSemanticVersion(std::string("1.2.3\0", 6)).valid);
}

TEST(SemanticVersion, ComparesComponentsNumericallyMajorFirst) {
    const auto v = [](const char* text) { return parseSemanticVersion(text); };
    EXPECT_TRUE(compareSemanticVersions(v("1.2.3"), v("1.2.3")) == 0);
    EXPECT_TRUE(compareSemanticVersions(v("1.2.10"), v("1.2.9")) > 0);
    EXPECT_TRUE(compareSemanticVersions(v("1.10.0"), v("1.9.99")) > 0);
    EXPECT_TRUE(compareSemanticVersions(v("2.0.0"), v("1.999.999")) > 0);
    EXPECT_TRUE(compareSemanticVersions(v("1.2.2"), v("1.2.3")) < 0);
    EXPECT_TRUE(compareSemanticVersions(v("0.9.9"), v("1.0.0")) < 0);
}

TEST(ExpectedFileVersion, AllowsLeadingZerosUpTo65535) {
    using Components = std::array<std::uint16_t, 3>;
    EXPECT_EQ(parseExpectedFileVersion("1.2.3"), (Components{1, 2, 3}));
    EXPECT_EQ(parseExpectedFileVersion("01.002.0003"), (Components{1, 2, 3}));
    EXPECT_EQ(parseExpectedFileVersion("65535.0.000000000000065535"), (Components{65535, 0, 65535}));
    for (const char* bad : {"", "1.2", "1.2.3.4", "65536.0.0", "1.65536.0", "1.2.99999999999999999999",
                            "1..3", ".1.2", "1.2.", "1.2.3-beta", " 1.2.3", "1.2.+3", "1.2.3 "}) {
        EXPECT_FALSE(parseExpectedFileVersion(bad).has_value()) << bad;
    }
}

TEST(ExpectedFileVersion, ExecutableExtensionIsCaseSensitive) {
    EXPECT_TRUE(hasExecutableExtension(L"Ardenwick.exe"));
    EXPECT_TRUE(hasExecutableExtension(L"archive.tar.exe"));
    EXPECT_TRUE(hasExecutableExtension(L"..exe"));
    EXPECT_TRUE(hasExecutableExtension(L"Ardenwick.exe:Zone.Identifier"));
    EXPECT_FALSE(hasExecutableExtension(L"Ardenwick.EXE"));
    EXPECT_FALSE(hasExecutableExtension(L"Ardenwick.Exe"));
    EXPECT_FALSE(hasExecutableExtension(L".exe"));
    EXPECT_FALSE(hasExecutableExtension(L"Ardenwick"));
    EXPECT_FALSE(hasExecutableExtension(L"Ardenwick.exe.zip"));
    EXPECT_FALSE(hasExecutableExtension(L"Ardenwick.exe "));
    EXPECT_FALSE(hasExecutableExtension(L"Ardenwick.zip:x.exe"));
    EXPECT_FALSE(hasExecutableExtension(L""));
}

} // namespace
} // namespace ardenwick
