#include "ui/installation_presentation.h"

namespace ardenwick {
namespace {

using S = LocalizedStrings;

void withButtons(InstallationPresentation& view, const LocalizedStrings& strings, S::Entry primary,
                 S::Entry secondary) {
    view.showPrimary = true;
    view.primaryLabel = strings[primary];
    view.secondaryLabel = strings[secondary];
}

} // namespace

// The worker never reports more than the total, but a bad snapshot must neither overflow the product nor
// draw past the end of the bar.
std::int32_t downloadPercent(std::uint64_t doneBytes, std::uint64_t totalBytes) noexcept {
    if (doneBytes >= totalBytes) {
        return 100;
    }
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::int32_t>(static_cast<Wide>(doneBytes) * 100 / totalBytes);
}

InstallationPresentation buildPresentation(const InstallationStatus& status,
                                           const LocalizedStrings& strings) {
    const auto kind = static_cast<std::int32_t>(status.kind);

    InstallationPresentation view;
    view.caption = strings[S::windowTitle];
    view.heading = strings[S::preparingHeading];
    view.primaryLabel = strings[S::tryAgainLabel];
    view.secondaryLabel = strings[S::closeLabel];
    view.tertiaryLabel = strings[S::downloadFullInstallerLabel];
    view.productLabel = strings[S::productName];
    view.progressPercent = -1;
    view.secondaryEnabled = kind > static_cast<std::int32_t>(InstallationKind::Launching);
    view.dismiss = status.kind == InstallationKind::Ready || status.finished;
    view.applicationProcessId = status.applicationProcessId;

    switch (status.kind) {
    case InstallationKind::Preparing:
        break;
    case InstallationKind::Downloading:
        view.heading = strings[S::downloadingHeading];
        if (status.totalBytes > 0) {
            view.progressPercent = downloadPercent(status.doneBytes, status.totalBytes);
        }
        break;
    case InstallationKind::Verifying:
        view.heading = strings[S::verifyingHeading];
        break;
    case InstallationKind::Installing:
        view.heading = strings[S::installingHeading];
        view.detail = strings[S::installingDetail];
        view.secondaryEnabled = false;
        break;
    case InstallationKind::Launching:
        view.heading = strings[S::openingHeading];
        break;
    case InstallationKind::Ready:
        view.heading = strings[S::readyHeading];
        view.detail = strings[S::readyDetail];
        view.progressPercent = 100;
        break;
    case InstallationKind::InstallationFailed:
        view.heading = strings[S::failedHeading];
        withButtons(view, strings, S::tryAgainLabel, S::closeLabel);
        view.progressPercent = 0;
        if (status.operation == "download_failed") {
            view.detail = strings[S::downloadFailedDetail];
            view.showTertiary = true;
        } else if (status.operation == "verification_failed") {
            view.detail = strings[S::verificationFailedDetail];
        } else {
            view.detail = strings[S::installationFailedDetail];
        }
        break;
    case InstallationKind::InstallationCancelled:
        view.heading = strings[S::cancelledHeading];
        withButtons(view, strings, S::tryAgainLabel, S::closeLabel);
        view.progressPercent = 0;
        break;
    case InstallationKind::ResultUnknown:
        view.heading = strings[S::unknownResultHeading];
        view.detail = strings[S::unknownResultDetail];
        withButtons(view, strings, S::tryAgainLabel, S::closeLabel);
        view.progressPercent = 0;
        break;
    case InstallationKind::AlreadyInstalled:
        view.heading = strings[S::alreadyInstalledHeading];
        withButtons(view, strings, S::openLabel, S::closeLabel);
        view.progressPercent = 100;
        break;
    case InstallationKind::LaunchFailed:
        view.heading = strings[S::readyHeading];
        view.detail = strings[S::installedOpenDetail];
        withButtons(view, strings, S::openLabel, S::closeLabel);
        view.progressPercent = 100;
        break;
    case InstallationKind::UpdateFailed:
        view.heading = strings[S::updateFailedHeading];
        view.detail = strings[S::installationFailedDetail];
        withButtons(view, strings, S::tryAgainLabel, S::openLabel);
        view.progressPercent = 0;
        break;
    default:
        break; // an unknown kind shows the defaults
    }

    view.closeButtonName =
        view.secondaryEnabled ? strings[S::closeLabel] : strings[S::closeInBackgroundLabel];

    if (status.operation == "unsupported_architecture") {
        view.detail = strings[S::unsupportedArchitectureDetail];
        view.showPrimary = false; // retrying cannot help
    }
    return view;
}

} // namespace ardenwick
