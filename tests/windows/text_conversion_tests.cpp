#include "common/text_conversion.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace ardenwick {
namespace {

void expectError(auto&& call, const char* message) {
    try {
        call();
        ADD_FAILURE() << "no error, expected " << message;
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), message);
    }
}

TEST(TextConversion, RoundTripsEveryPlaneAndRefusesMalformedInput) {
    EXPECT_EQ(utf8ToWide(""), L"");
    EXPECT_EQ(wideToUtf8(L""), "");

    const std::string utf8 = "Ardenwick \xC3\xA7\xC3\xA3o \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80";
    const std::wstring wide = L"Ardenwick \u00E7\u00E3o \u4E2D\u6587 \U0001F600";
    EXPECT_EQ(utf8ToWide(utf8), wide);
    EXPECT_EQ(wideToUtf8(wide), utf8);
    EXPECT_EQ(utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));

    expectError([] { (void)utf8ToWide("\x80"); }, "Invalid UTF-8 text");
    expectError([] { (void)utf8ToWide("ok\xC3"); }, "Invalid UTF-8 text");
    expectError([] { (void)utf8ToWide("\xC0\xAF"); }, "Invalid UTF-8 text");
    expectError([] { (void)wideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))); },
                "Invalid UTF-16 text");
    expectError([] { (void)wideToUtf8(std::wstring(L"x") + static_cast<wchar_t>(0xDC00)); },
                "Invalid UTF-16 text");
}

} // namespace
} // namespace ardenwick
