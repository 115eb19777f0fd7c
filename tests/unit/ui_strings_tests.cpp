#include "ui/localized_strings.h"
#include "ui_test_text.h"

#include <gtest/gtest.h>

#include <set>

namespace ardenwick {
namespace {

using test::u16;
using test::ui;
using S = LocalizedStrings;

const LocalizedStrings& english() {
    return stringsForLanguage(ui(u"en-US"));
}
const LocalizedStrings& portuguese() {
    return stringsForLanguage(ui(u"pt-BR"));
}
const LocalizedStrings& chinese() {
    return stringsForLanguage(ui(u"zh-Hans"));
}

TEST(LocalizedStrings, EveryTableHas28DistinctNonEmptyEntriesAndTheSameProductName) {
    for (const LocalizedStrings* table : {&english(), &portuguese(), &chinese()}) {
        ASSERT_EQ(table->entries.size(), 28u);
        std::set<std::u16string> seen;
        for (const UiChar* entry : table->entries) {
            ASSERT_NE(entry, nullptr);
            EXPECT_FALSE(u16(entry).empty());
            seen.insert(u16(entry));
        }
        EXPECT_EQ(seen.size(), 28u) << "two entries of one table share a text";
        EXPECT_EQ(u16((*table)[S::productName]), u"Ardenwick");
    }
    EXPECT_NE(&english(), &portuguese());
    EXPECT_NE(&english(), &chinese());
}

TEST(LocalizedStrings, EnglishTextsAreExact) {
    const LocalizedStrings& en = english();
    EXPECT_EQ(u16(en[S::windowTitle]), u"Ardenwick Setup");
    EXPECT_EQ(u16(en[S::preparingHeading]), u"Preparing your installation...");
    // The only typographic apostrophe of the English table.
    EXPECT_EQ(u16(en[S::updateFailedHeading]), u"Couldn\u2019t install the update");
    EXPECT_EQ(u16(en[S::readyHeading]), u"You're all set.");
    EXPECT_EQ(u16(en[S::failedHeading]), u"Installation couldn't finish.");
    EXPECT_EQ(
        u16(en[S::downloadFailedDetail]),
        u"The download couldn't finish. Check your connection and available disk space, then try again.");
    EXPECT_EQ(u16(en[S::closeInBackgroundLabel]), u"Close window; installation continues in the background.");
    EXPECT_EQ(u16(en[S::unsupportedArchitectureDetail]),
              u"This version of Ardenwick isn't compatible with your PC.");
    EXPECT_EQ(u16(en[S::installingDetail]), u"This may take a few moments.");
    for (std::size_t i = 0; i < S::Count; ++i) {
        if (i == S::updateFailedHeading) {
            continue;
        }
        EXPECT_EQ(u16(en.entries[i]).find(u'\u2019'), std::u16string::npos) << "entry " << i;
    }
}

TEST(LocalizedStrings, PortugueseTextsAreExactAsWritten) {
    const LocalizedStrings& pt = portuguese();
    EXPECT_EQ(u16(pt[S::windowTitle]), u"Configura\u00e7\u00e3o da Ardenwick");
    // The product's own wording, including "intalar".
    EXPECT_EQ(u16(pt[S::updateFailedHeading]), u"N\u00e3o foi poss\u00edvel intalar a atualiza\u00e7\u00e3o");
    EXPECT_EQ(u16(pt[S::readyHeading]), u"Est\u00e1 tudo pronto.");
    EXPECT_EQ(u16(pt[S::verificationFailedDetail]),
              u"N\u00e3o foi poss\u00edvel verificar este download. Tente baix\u00e1-lo novamente.");
    EXPECT_EQ(u16(pt[S::unknownResultDetail]), u"Tente de novo para instala\u00e7\u00e3o do Ardenwick.");
    EXPECT_EQ(u16(pt[S::tryAgainLabel]), u"Tente novamente");
    EXPECT_EQ(u16(pt[S::closeLabel]), u"Fechar");
    EXPECT_EQ(u16(pt[S::unsupportedArchitectureDetail]),
              u"O vers\u00e3o do Ardenwick n\u00e3o est\u00e1 compat\u00edvel com seu PC.");
    EXPECT_EQ(u16(pt[S::installingDetail]), u"Isso pode levar alguns instantes.");
}

TEST(LocalizedStrings, ChineseTextsUseFullWidthPunctuationAndDoubleEllipsis) {
    const LocalizedStrings& zh = chinese();
    EXPECT_EQ(u16(zh[S::windowTitle]), u"Ardenwick \u5b89\u88c5\u7a0b\u5e8f");
    EXPECT_EQ(u16(zh[S::preparingHeading]), u"\u6b63\u5728\u51c6\u5907\u5b89\u88c5\u2026\u2026");
    EXPECT_EQ(u16(zh[S::downloadingHeading]), u"\u6b63\u5728\u4e0b\u8f7d Ardenwick\u2026\u2026");
    EXPECT_EQ(u16(zh[S::readyHeading]), u"\u4e00\u5207\u5c31\u7eea\u3002");
    EXPECT_EQ(u16(zh[S::installationFailedDetail]),
              u"\u5b89\u88c5\u672a\u80fd\u5b8c\u6210\uff0c\u8bf7\u91cd\u8bd5\u3002");
    EXPECT_EQ(u16(zh[S::installedOpenDetail]),
              u"Ardenwick \u5df2\u5b89\u88c5\u3002\u8bf7\u9009\u62e9\u201c\u6253\u5f00 "
              u"Ardenwick\u201d\u4ee5\u542f\u52a8\u5e94\u7528\u3002");
    EXPECT_EQ(u16(zh[S::closeInBackgroundLabel]),
              u"\u5173\u95ed\u7a97\u53e3\uff0c\u5b89\u88c5\u5c06\u5728\u540e\u53f0\u7ee7\u7eed\u3002");
    EXPECT_EQ(u16(zh[S::tryAgainLabel]), u"\u91cd\u8bd5");
    EXPECT_EQ(u16(zh[S::downloadFullInstallerLabel]), u"\u4e0b\u8f7d\u5b8c\u6574\u5b89\u88c5\u5305");
    // No Chinese text falls back to ASCII "..." or ASCII sentence punctuation.
    for (std::size_t i = 0; i < S::Count; ++i) {
        const std::u16string text = u16(zh.entries[i]);
        EXPECT_EQ(text.find(u"..."), std::u16string::npos) << "entry " << i;
        EXPECT_EQ(text.find_first_of(u".,\""), std::u16string::npos) << "entry " << i;
    }
}

TEST(LocalizedStrings, OnlyTheExactSupportedTagsSelectATranslation) {
    EXPECT_EQ(&stringsForLanguage(ui(u"zh-Hans")), &chinese());
    EXPECT_EQ(&stringsForLanguage(ui(u"pt-BR")), &portuguese());
    for (std::u16string_view other : {u"", u"zh-hans", u"pt-br", u"zh-Hant", u"pt-PT", u"de-DE", u"en-GB"}) {
        EXPECT_EQ(&stringsForLanguage(ui(other)), &english()) << std::string(other.begin(), other.end());
    }
    EXPECT_EQ(u16(english()[S::windowTitle]), u"Ardenwick Setup");
}

} // namespace
} // namespace ardenwick
