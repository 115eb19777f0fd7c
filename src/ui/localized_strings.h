#pragma once

#include "ui/ui_text.h"

#include <array>
#include <cstddef>

namespace ardenwick {

/// The 28 texts of one language, addressed by index.
struct LocalizedStrings {
    static constexpr std::size_t Count = 28;

    enum Entry : std::size_t {
        productName = 0,
        windowTitle = 1,
        preparingHeading = 2,
        installingUpdateHeading = 3,
        updateFailedHeading = 4,
        downloadingHeading = 5,
        verifyingHeading = 6,
        installingHeading = 7,
        openingHeading = 8,
        readyHeading = 9,
        readyDetail = 10,
        failedHeading = 11,
        manifestFailedDetail = 12,
        downloadFailedDetail = 13,
        verificationFailedDetail = 14,
        installationFailedDetail = 15,
        installedOpenDetail = 16,
        cancelledHeading = 17,
        unknownResultHeading = 18,
        unknownResultDetail = 19,
        alreadyInstalledHeading = 20,
        tryAgainLabel = 21,
        closeLabel = 22,
        closeInBackgroundLabel = 23,
        openLabel = 24,
        downloadFullInstallerLabel = 25,
        unsupportedArchitectureDetail = 26,
        installingDetail = 27,
    };

    std::array<const UiChar*, Count> entries{};

    [[nodiscard]] UiStringView operator[](Entry entry) const noexcept { return entries[entry]; }
};

inline constexpr UiChar EnglishLanguageTag[] = ARDENWICK_UI_TEXT("en-US");
inline constexpr UiChar PortugueseLanguageTag[] = ARDENWICK_UI_TEXT("pt-BR");
inline constexpr UiChar ChineseLanguageTag[] = ARDENWICK_UI_TEXT("zh-Hans");

/// The Chinese table for exactly "zh-Hans", the Portuguese one for exactly "pt-BR", English otherwise.
[[nodiscard]] const LocalizedStrings& stringsForLanguage(UiStringView languageTag) noexcept;

} // namespace ardenwick
