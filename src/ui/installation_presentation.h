#pragma once

#include "installation/installation_status.h"
#include "ui/localized_strings.h"
#include "ui/ui_text.h"

#include <cstdint>

namespace ardenwick {

/// Everything the window shows for one status.
struct InstallationPresentation {
    UiString caption;
    UiString heading;
    UiString detail; // empty hides the detail line
    UiString primaryLabel;
    UiString secondaryLabel;
    std::int32_t progressPercent = -1; // 0-100, or -1 for a marquee
    bool showPrimary = false;
    bool secondaryEnabled = false; // also: closing the window ends it instead of hiding it
    bool showTertiary = false;
    UiString productLabel;
    UiString tertiaryLabel;
    UiString closeButtonName;
    bool dismiss = false;
    std::uint32_t applicationProcessId = 0;

    friend bool operator==(const InstallationPresentation&, const InstallationPresentation&) = default;
};

/// doneBytes × 100 / totalBytes in whole percent, 100 once done reaches the total; `totalBytes` > 0.
[[nodiscard]] std::int32_t downloadPercent(std::uint64_t doneBytes, std::uint64_t totalBytes) noexcept;

/// The pure mapping from a status snapshot to what the window shows. Unknown kinds and failure texts get
/// the defaults; no status value is refused.
[[nodiscard]] InstallationPresentation buildPresentation(const InstallationStatus& status,
                                                         const LocalizedStrings& strings);

} // namespace ardenwick
