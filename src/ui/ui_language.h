#pragma once

#include "ui/ui_text.h"

#include <span>

namespace ardenwick {

/// Reduces a BCP 47 language tag to "en-US", "pt-BR" or "zh-Hans", or to an empty string when the
/// program has no texts for it.
[[nodiscard]] UiString supportedLanguageFor(UiStringView tag);

/// The choice of `detectUiLanguage` over what Windows reported: the default UI language if supported,
/// else the first supported preferred language, else "en-US".
[[nodiscard]] UiString chooseUiLanguage(UiStringView defaultLanguage, std::span<const UiString> preferred);

/// Asks Windows for the user's UI languages and chooses among them; never fails.
[[nodiscard]] UiString detectUiLanguage();

} // namespace ardenwick
