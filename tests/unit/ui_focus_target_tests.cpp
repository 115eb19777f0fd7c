#include "ui/focus_target.h"
#include "ui/installation_presentation.h"
#include "ui/localized_strings.h"
#include "ui_test_text.h"

#include <gtest/gtest.h>

#include <array>

namespace ardenwick {
namespace {

using test::ui;

constexpr std::size_t Primary = 0;
constexpr std::size_t Secondary = 1;
constexpr std::size_t Close = 3;

// The window's buttons for one presentation, in the order the window lists them: primary, secondary,
// tertiary, close. The secondary button is shown and enabled together; the close button always is.
std::array<FocusCandidate, 4> buttonsOf(const InstallationPresentation& view) {
    return {FocusCandidate{view.showPrimary, true},
            FocusCandidate{view.secondaryEnabled, view.secondaryEnabled},
            FocusCandidate{view.showTertiary, true}, FocusCandidate{true, true}};
}

TEST(FocusTarget, ThePrimaryActionOfEachScreenOrTheCloseButtonAlone) {
    const LocalizedStrings& strings = stringsForLanguage(ui(u"en-US"));
    const struct {
        InstallationStatus status;
        std::size_t expected;
    } screens[] = {
        {statusOf(InstallationKind::Preparing), Close},
        {statusOf(InstallationKind::Downloading), Close},
        {statusOf(InstallationKind::Verifying), Close},
        {statusOf(InstallationKind::Installing), Close},
        {statusOf(InstallationKind::Launching), Close},
        {statusOf(InstallationKind::Ready), Secondary},
        {statusOf(InstallationKind::InstallationFailed, "download_failed"), Primary},
        {statusOf(InstallationKind::InstallationFailed, "unsupported_architecture"), Secondary},
        {statusOf(InstallationKind::InstallationCancelled), Primary},
        {statusOf(InstallationKind::ResultUnknown), Primary},
        {statusOf(InstallationKind::AlreadyInstalled), Primary},
        {statusOf(InstallationKind::LaunchFailed), Primary},
        {statusOf(InstallationKind::UpdateFailed), Primary},
    };
    for (const auto& [status, expected] : screens) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << static_cast<int>(status.kind) << " " << status.operation);
        const auto buttons = buttonsOf(buildPresentation(status, strings));
        EXPECT_EQ(focusTarget(buttons), expected);
    }

    // Never a hidden or a disabled control, whatever comes first.
    const std::array<FocusCandidate, 4> skipped{FocusCandidate{false, true}, FocusCandidate{true, false},
                                                FocusCandidate{false, false}, FocusCandidate{true, true}};
    EXPECT_EQ(focusTarget(skipped), Close);
    const std::array<FocusCandidate, 2> tertiaryOnly{FocusCandidate{true, false}, FocusCandidate{true, true}};
    EXPECT_EQ(focusTarget(tertiaryOnly), 1u);
    const std::array<FocusCandidate, 2> nothing{FocusCandidate{false, true}, FocusCandidate{true, false}};
    EXPECT_EQ(focusTarget(nothing), std::nullopt);
    EXPECT_EQ(focusTarget({}), std::nullopt);
}

} // namespace
} // namespace ardenwick
