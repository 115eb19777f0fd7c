#include "ui/ui_language.h"
#include "ui_test_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace ardenwick {
namespace {

using test::u16;
using test::ui;

std::u16string supported(std::u16string_view tag) {
    return u16(supportedLanguageFor(ui(tag)));
}

std::u16string choose(std::u16string_view defaultLanguage,
                      std::initializer_list<std::u16string_view> preferred) {
    std::vector<UiString> list;
    for (std::u16string_view language : preferred) {
        list.push_back(ui(language));
    }
    return u16(chooseUiLanguage(ui(defaultLanguage), list));
}

TEST(SupportedLanguageFor, EnglishIsAnyEnglish) {
    for (std::u16string_view tag :
         {u"en", u"en-US", u"en-GB", u"EN-au", u"en-Latn-US", u"en-x-private", u"en-001"}) {
        EXPECT_EQ(supported(tag), u"en-US") << std::string(tag.begin(), tag.end());
    }
}

TEST(SupportedLanguageFor, ChineseOnlyInSimplifiedScript) {
    for (std::u16string_view tag :
         {u"zh", u"zh-CN", u"zh-SG", u"zh-Hans", u"zh-Hans-HK", u"ZH-hans-tw", u"zh-u-nu-hanidec"}) {
        EXPECT_EQ(supported(tag), u"zh-Hans") << std::string(tag.begin(), tag.end());
    }
    for (std::u16string_view tag :
         {u"zh-TW", u"zh-HK", u"zh-MO", u"zh-Hant", u"zh-Hant-CN", u"zh-CN-Hant", u"zh-Latn"}) {
        EXPECT_EQ(supported(tag), u"") << std::string(tag.begin(), tag.end());
    }
}

TEST(SupportedLanguageFor, PortugueseOnlyForBrazilOrNoRegion) {
    for (std::u16string_view tag : {u"pt", u"pt-BR", u"PT-br", u"pt-Latn-BR", u"pt-Latn"}) {
        EXPECT_EQ(supported(tag), u"pt-BR") << std::string(tag.begin(), tag.end());
    }
    for (std::u16string_view tag : {u"pt-PT", u"pt-AO", u"pt-076"}) {
        EXPECT_EQ(supported(tag), u"") << std::string(tag.begin(), tag.end());
    }
    // The first region decides; a later one is ignored.
    EXPECT_EQ(supported(u"pt-PT-BR"), u"");
    EXPECT_EQ(supported(u"pt-BR-PT"), u"pt-BR");
}

TEST(SupportedLanguageFor, MalformedTagsAndOtherLanguagesGiveNothing) {
    for (std::u16string_view tag :
         {u"", u"en_US", u"de-DE", u"fr", u"-en", u"en-", u"en--US", u"english12-US", u"en-verylongx",
          u"en US", u"en-x-verylongprivatepart", u"en-US\u0130", u"\u212Aen", u"es-419", u"e\u00f1"}) {
        EXPECT_EQ(supported(tag), u"") << std::string(tag.begin(), tag.end());
    }
    // Eight characters is still a valid part; nine is not.
    EXPECT_EQ(supported(u"en-abcdefgh"), u"en-US");
    EXPECT_EQ(supported(u"en-abcdefghi"), u"");
}

TEST(ChooseUiLanguage, DefaultFirstThenPreferredInOrderThenEnglish) {
    EXPECT_EQ(choose(u"en-GB", {}), u"en-US");
    EXPECT_EQ(choose(u"de-DE", {u"de-DE", u"pt-BR"}), u"pt-BR");
    EXPECT_EQ(choose(u"pt-BR", {u"zh-CN", u"en-US"}), u"pt-BR");
    EXPECT_EQ(choose(u"zh-TW", {u"zh-HK", u"fr-FR", u"zh-SG", u"pt-BR"}), u"zh-Hans");
    EXPECT_EQ(choose(u"zh-TW", {u"zh-HK"}), u"en-US");
    EXPECT_EQ(choose(u"", {u"", u"pt"}), u"pt-BR");
    EXPECT_EQ(choose(u"de-DE", {}), u"en-US");
    EXPECT_EQ(choose(u"pt-PT", {u"en_US"}), u"en-US");
}

} // namespace
} // namespace ardenwick
