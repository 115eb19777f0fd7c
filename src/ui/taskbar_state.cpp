#include "ui/taskbar_state.h"

#include "ui/installation_presentation.h"

namespace ardenwick {

TaskbarProgress taskbarProgressFor(const InstallationStatus& status, bool windowShown) noexcept {
    if (!windowShown) {
        return {};
    }
    switch (status.kind) {
    case InstallationKind::Downloading:
        if (status.totalBytes > 0) {
            return {TaskbarState::Normal, downloadPercent(status.doneBytes, status.totalBytes)};
        }
        return {TaskbarState::Indeterminate, 0};
    case InstallationKind::InstallationFailed:
    case InstallationKind::InstallationCancelled:
    case InstallationKind::ResultUnknown:
    case InstallationKind::UpdateFailed:
        // A full red bar: an empty one would show no colour at all.
        return {TaskbarState::Error, 100};
    case InstallationKind::Ready:
    case InstallationKind::AlreadyInstalled:
    case InstallationKind::LaunchFailed: // "You're all set": installed, only the start is left to the user
        return {};
    default:
        // Preparing, verifying, installing, opening, and kinds this build does not know: the window's bar
        // is a marquee for all of them.
        return {TaskbarState::Indeterminate, 0};
    }
}

} // namespace ardenwick
