#include "download/installer_version_floor.h"

#include <gtest/gtest.h>

#include <string>

namespace ardenwick {
namespace {

TEST(InstallerVersionFloor, EqualOrHigherMeetsItComparedNumerically) {
    EXPECT_TRUE(meetsInstallerVersionFloor("2.4.0", "2.4.0"));
    EXPECT_TRUE(meetsInstallerVersionFloor("2.4.1", "2.4.0"));
    EXPECT_TRUE(meetsInstallerVersionFloor("3.0.0", "2.99.99"));
    EXPECT_TRUE(meetsInstallerVersionFloor("0.0.0", "0.0.0"));
    // As text these would sort the other way.
    EXPECT_TRUE(meetsInstallerVersionFloor("1.10.0", "1.9.9"));
    EXPECT_TRUE(meetsInstallerVersionFloor("1.2.10", "1.2.9"));
    EXPECT_TRUE(meetsInstallerVersionFloor("10.0.0", "9.999.999"));
    EXPECT_TRUE(meetsInstallerVersionFloor("999999999.999999999.999999999", "999999999.999999999.999999998"));
}

TEST(InstallerVersionFloor, LowerInAnyComponentIsBelowIt) {
    EXPECT_FALSE(meetsInstallerVersionFloor("2.3.9", "2.4.0"));
    EXPECT_FALSE(meetsInstallerVersionFloor("2.4.0", "2.4.1"));
    EXPECT_FALSE(meetsInstallerVersionFloor("1.99.99", "2.0.0"));
    EXPECT_FALSE(meetsInstallerVersionFloor("1.9.9", "1.10.0"));
    EXPECT_FALSE(meetsInstallerVersionFloor("1.2.9", "1.2.10"));
    EXPECT_FALSE(meetsInstallerVersionFloor("9.999.999", "10.0.0"));
}

TEST(InstallerVersionFloor, TextThatIsNoVersionNeverMeetsIt) {
    for (const char* bad : {"", "2.4", "2.4.0.0", "02.4.0", "2.4.0-rc1", " 2.4.0", "2.4.0 ", "v2.4.0",
                            "1234567890.0.0", "2.4.x"}) {
        EXPECT_FALSE(meetsInstallerVersionFloor(bad, "0.0.0")) << bad;
        EXPECT_FALSE(meetsInstallerVersionFloor("2.4.0", bad)) << bad;
    }
    EXPECT_FALSE(meetsInstallerVersionFloor(std::string("2.4.0\0", 6), "2.4.0"));
}

} // namespace
} // namespace ardenwick
