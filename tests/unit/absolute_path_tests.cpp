#include "common/absolute_path.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

TEST(AbsolutePath, DriveLetterNeedsASeparator) {
    EXPECT_TRUE(isAbsolutePath(L"C:\\"));
    EXPECT_TRUE(isAbsolutePath(L"c:/Users"));
    EXPECT_TRUE(isAbsolutePath(L"Z:\\a\\b"));
    EXPECT_FALSE(isAbsolutePath(L"C:"));
    EXPECT_FALSE(isAbsolutePath(L"C:Users"));
    EXPECT_FALSE(isAbsolutePath(L"1:\\x"));
    EXPECT_FALSE(isAbsolutePath(L"\u00C9:\\x"));
}

TEST(AbsolutePath, RootNamesAreAbsoluteRelativeNamesAreNot) {
    EXPECT_TRUE(isAbsolutePath(L"\\\\server\\share"));
    EXPECT_TRUE(isAbsolutePath(L"//server/share"));
    EXPECT_TRUE(isAbsolutePath(L"\\\\?\\C:\\very\\long"));
    EXPECT_TRUE(isAbsolutePath(L"\\\\.\\pipe\\x"));
    EXPECT_FALSE(isAbsolutePath(L""));
    EXPECT_FALSE(isAbsolutePath(L"\\"));
    EXPECT_FALSE(isAbsolutePath(L"\\\\"));
    EXPECT_FALSE(isAbsolutePath(L"\\\\\\server"));
    EXPECT_FALSE(isAbsolutePath(L"\\Windows"));
    EXPECT_FALSE(isAbsolutePath(L"Program Files\\Ardenwick"));
    EXPECT_FALSE(isAbsolutePath(L".\\x"));
}

} // namespace
} // namespace ardenwick
