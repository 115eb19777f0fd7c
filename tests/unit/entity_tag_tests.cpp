#include "download/entity_tag.h"

#include <gtest/gtest.h>

#include <string>

namespace ardenwick {
namespace {

TEST(EntityTag, AcceptsQuotedTagsOfAllowedCharacters) {
    for (const wchar_t* good : {L"\"\"", L"\"abc\"", L"\"5d8c72a5-1f\"",
                                L"\"!#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\"", L"\"\x80\xff\""}) {
        EXPECT_TRUE(isStrongEntityTag(good)) << std::wstring(good).size();
    }
}

TEST(EntityTag, RefusesWeakUnquotedAndForbiddenCharacters) {
    for (const wchar_t* bad :
         {L"", L"\"", L"abc", L"\"abc", L"abc\"", L"W/\"abc\"", L"w/\"abc\"", L"\"a b\"", L"\"a\x7f\"",
          L"\"a\x20\"", L"\"a\x1f\"", L"\"\x100\"", L"\"\x2013\"", L" \"abc\"", L"\"abc\" "}) {
        EXPECT_FALSE(isStrongEntityTag(bad)) << std::wstring(bad).size();
    }
    // A double quote inside the tag (0x22) is the one printable character that is not allowed.
    EXPECT_FALSE(isStrongEntityTag(L"\"a\"b\""));
    EXPECT_FALSE(isStrongEntityTag(std::wstring(L"\"a\0b\"", 5)));
}

TEST(EntityTag, LengthLimitIsInclusiveAt1024) {
    const std::wstring longest = L"\"" + std::wstring(1022, L'a') + L"\"";
    ASSERT_EQ(longest.size(), 1024u);
    EXPECT_TRUE(isStrongEntityTag(longest));
    EXPECT_FALSE(isStrongEntityTag(L"\"" + std::wstring(1023, L'a') + L"\""));
}

} // namespace
} // namespace ardenwick
