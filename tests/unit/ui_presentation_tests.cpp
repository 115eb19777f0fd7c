#include "ui/installation_presentation.h"
#include "ui_test_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace ardenwick {
namespace {

using test::u16;
using test::ui;
using S = LocalizedStrings;

const LocalizedStrings& en() {
    return stringsForLanguage(ui(u"en-US"));
}

InstallationStatus status(InstallationKind kind, std::string operation = {}) {
    InstallationStatus s;
    s.kind = kind;
    s.operation = std::move(operation);
    return s;
}

InstallationPresentation present(const InstallationStatus& s) {
    return buildPresentation(s, en());
}

std::u16string text(S::Entry entry) {
    return u16(en()[entry]);
}

struct Row {
    InstallationKind kind;
    S::Entry heading;
    std::u16string detail;
    bool showPrimary;
    std::u16string primary;
    bool secondaryEnabled;
    std::u16string secondary;
    int progress;
};

TEST(BuildPresentation, EveryKindShowsItsRow) {
    const std::u16string tryAgain = text(S::tryAgainLabel);
    const std::u16string close = text(S::closeLabel);
    const std::u16string open = text(S::openLabel);
    const Row rows[] = {
        {InstallationKind::Preparing, S::preparingHeading, u"", false, tryAgain, false, close, -1},
        {InstallationKind::Downloading, S::downloadingHeading, u"", false, tryAgain, false, close, -1},
        {InstallationKind::Verifying, S::verifyingHeading, u"", false, tryAgain, false, close, -1},
        {InstallationKind::Installing, S::installingHeading, text(S::installingDetail), false, tryAgain,
         false, close, -1},
        {InstallationKind::Launching, S::openingHeading, u"", false, tryAgain, false, close, -1},
        {InstallationKind::Ready, S::readyHeading, text(S::readyDetail), false, tryAgain, true, close, 100},
        {InstallationKind::InstallationFailed, S::failedHeading, text(S::installationFailedDetail), true,
         tryAgain, true, close, 0},
        {InstallationKind::InstallationCancelled, S::cancelledHeading, u"", true, tryAgain, true, close, 0},
        {InstallationKind::ResultUnknown, S::unknownResultHeading, text(S::unknownResultDetail), true,
         tryAgain, true, close, 0},
        {InstallationKind::AlreadyInstalled, S::alreadyInstalledHeading, u"", true, open, true, close, 100},
        {InstallationKind::LaunchFailed, S::readyHeading, text(S::installedOpenDetail), true, open, true,
         close, 100},
        {InstallationKind::UpdateFailed, S::updateFailedHeading, text(S::installationFailedDetail), true,
         tryAgain, true, open, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.kind));
        InstallationStatus s = status(row.kind);
        s.applicationProcessId = 4242;
        const InstallationPresentation p = present(s);
        EXPECT_EQ(u16(p.caption), u"Ardenwick Setup");
        EXPECT_EQ(u16(p.productLabel), u"Ardenwick");
        EXPECT_EQ(u16(p.heading), text(row.heading));
        EXPECT_EQ(u16(p.detail), row.detail);
        EXPECT_EQ(p.showPrimary, row.showPrimary);
        EXPECT_EQ(u16(p.primaryLabel), row.primary);
        EXPECT_EQ(p.secondaryEnabled, row.secondaryEnabled);
        EXPECT_EQ(u16(p.secondaryLabel), row.secondary);
        EXPECT_FALSE(p.showTertiary);
        EXPECT_EQ(u16(p.tertiaryLabel), u"Download full installer");
        EXPECT_EQ(p.progressPercent, row.progress);
        EXPECT_EQ(u16(p.closeButtonName), row.secondaryEnabled ? close : text(S::closeInBackgroundLabel));
        EXPECT_EQ(p.dismiss, row.kind == InstallationKind::Ready);
        EXPECT_EQ(p.applicationProcessId, 4242u);
    }
}

TEST(BuildPresentation, DownloadProgressIsIntegerPercentOrMarquee) {
    InstallationStatus s = status(InstallationKind::Downloading);
    EXPECT_EQ(present(s).progressPercent, -1); // 0 of 0
    s.doneBytes = 1;
    s.totalBytes = 3;
    EXPECT_EQ(present(s).progressPercent, 33);
    s.doneBytes = 50;
    s.totalBytes = 200;
    EXPECT_EQ(present(s).progressPercent, 25);
    s.doneBytes = 199;
    EXPECT_EQ(present(s).progressPercent, 99);
    s.doneBytes = 200;
    EXPECT_EQ(present(s).progressPercent, 100);
    s.doneBytes = 12345;
    s.totalBytes = 0;
    EXPECT_EQ(present(s).progressPercent, -1);
    // Counts that would overflow doneBytes × 100, or a done count past the total, stay within the bar.
    s.doneBytes = std::numeric_limits<std::uint64_t>::max() - 1;
    s.totalBytes = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(present(s).progressPercent, 99);
    s.doneBytes = std::numeric_limits<std::uint64_t>::max() / 2;
    EXPECT_EQ(present(s).progressPercent, 49);
    s.doneBytes = 500;
    s.totalBytes = 200;
    EXPECT_EQ(present(s).progressPercent, 100);
}

TEST(BuildPresentation, FailureTextPicksTheDetailAndTheTertiaryButton) {
    InstallationPresentation p = present(status(InstallationKind::InstallationFailed, "download_failed"));
    EXPECT_EQ(u16(p.heading), text(S::failedHeading));
    EXPECT_EQ(u16(p.detail), text(S::downloadFailedDetail));
    EXPECT_TRUE(p.showPrimary);
    EXPECT_TRUE(p.secondaryEnabled);
    EXPECT_TRUE(p.showTertiary);

    p = present(status(InstallationKind::InstallationFailed, "verification_failed"));
    EXPECT_EQ(u16(p.detail), text(S::verificationFailedDetail));
    EXPECT_FALSE(p.showTertiary);

    for (const char* other : {"installation_failed", "", "Download_failed", "download_failed ", "download",
                              "nsis_result_unknown", "\xff\xfe"}) {
        SCOPED_TRACE(other);
        p = present(status(InstallationKind::InstallationFailed, other));
        EXPECT_EQ(u16(p.detail), text(S::installationFailedDetail));
        EXPECT_TRUE(p.showPrimary);
        EXPECT_FALSE(p.showTertiary);
    }
    // Compared over its full length: an embedded null does not make a match.
    p = present(status(InstallationKind::InstallationFailed, std::string("download_failed\0x", 17)));
    EXPECT_FALSE(p.showTertiary);

    // Only failures show the tertiary button, whatever the text.
    for (InstallationKind kind :
         {InstallationKind::Downloading, InstallationKind::ResultUnknown, InstallationKind::UpdateFailed}) {
        EXPECT_FALSE(present(status(kind, "download_failed")).showTertiary);
    }
}

TEST(BuildPresentation, UnsupportedArchitectureOverridesEveryKind) {
    InstallationPresentation p =
        present(status(InstallationKind::InstallationFailed, "unsupported_architecture"));
    EXPECT_EQ(u16(p.heading), text(S::failedHeading));
    EXPECT_EQ(u16(p.detail), text(S::unsupportedArchitectureDetail));
    EXPECT_FALSE(p.showPrimary);
    EXPECT_TRUE(p.secondaryEnabled);
    EXPECT_FALSE(p.showTertiary);

    for (int kind = 0; kind <= 13; ++kind) {
        p = present(status(static_cast<InstallationKind>(kind), "unsupported_architecture"));
        EXPECT_EQ(u16(p.detail), text(S::unsupportedArchitectureDetail)) << kind;
        EXPECT_FALSE(p.showPrimary) << kind;
    }
    EXPECT_TRUE(
        present(status(InstallationKind::InstallationFailed, "unsupported_architecture_x")).showPrimary);
}

TEST(BuildPresentation, DismissOnReadyOrFinished) {
    InstallationStatus s = status(InstallationKind::InstallationCancelled);
    EXPECT_FALSE(present(s).dismiss);
    s.finished = true;
    EXPECT_TRUE(present(s).dismiss);
    s.kind = InstallationKind::Downloading;
    EXPECT_TRUE(present(s).dismiss);
    EXPECT_TRUE(present(status(InstallationKind::Ready)).dismiss);
    EXPECT_FALSE(present(status(InstallationKind::LaunchFailed)).dismiss);
}

TEST(BuildPresentation, UnknownKindsShowTheDefaults) {
    for (int kind :
         {12, 99, -1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        SCOPED_TRACE(kind);
        const InstallationPresentation p =
            present(status(static_cast<InstallationKind>(kind), "download_failed"));
        EXPECT_EQ(u16(p.heading), text(S::preparingHeading));
        EXPECT_EQ(u16(p.detail), u"");
        EXPECT_EQ(p.progressPercent, -1);
        EXPECT_FALSE(p.showPrimary);
        EXPECT_FALSE(p.showTertiary);
        EXPECT_FALSE(p.dismiss);
        // Above Launching the window may be closed; a negative kind is treated as an early stage.
        EXPECT_EQ(p.secondaryEnabled, kind > 4);
    }
}

TEST(BuildPresentation, TextsComeFromTheGivenLanguage) {
    const LocalizedStrings& zh = stringsForLanguage(ui(u"zh-Hans"));
    const InstallationPresentation p = buildPresentation(status(InstallationKind::UpdateFailed), zh);
    EXPECT_EQ(u16(p.caption), u"Ardenwick \u5b89\u88c5\u7a0b\u5e8f");
    EXPECT_EQ(u16(p.heading), u"\u65e0\u6cd5\u5b89\u88c5\u66f4\u65b0");
    EXPECT_EQ(u16(p.secondaryLabel), u"\u6253\u5f00 Ardenwick");
    EXPECT_EQ(u16(p.primaryLabel), u"\u91cd\u8bd5");
    const InstallationPresentation launching =
        buildPresentation(status(InstallationKind::Launching), stringsForLanguage(ui(u"pt-BR")));
    EXPECT_EQ(u16(launching.closeButtonName),
              u"Feche a janela; a instala\u00e7\u00e3o continua em segundo plano.");
}

} // namespace
} // namespace ardenwick
