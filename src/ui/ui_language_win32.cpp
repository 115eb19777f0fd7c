#include "ui/ui_language.h"

#include "ui/localized_strings.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace ardenwick {
namespace {

constexpr ULONG MaxPreferredLanguagesLength = 65536;

UiString defaultUiLanguageName() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(GetUserDefaultUILanguage(), name, LOCALE_NAME_MAX_LENGTH, 0) == 0) {
        return {};
    }
    return name;
}

std::vector<UiString> preferredUiLanguages() {
    ULONG count = 0;
    ULONG length = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &length) || length < 1 ||
        length > MaxPreferredLanguagesLength) {
        return {};
    }
    std::vector<wchar_t> buffer(length);
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, buffer.data(), &length)) {
        return {};
    }
    // A double-null-terminated list; the first empty entry ends it.
    std::vector<UiString> languages;
    auto position = buffer.begin();
    while (position != buffer.end() && *position != L'\0') {
        const auto end = std::find(position, buffer.end(), L'\0');
        languages.emplace_back(position, end);
        position = end == buffer.end() ? end : end + 1;
    }
    return languages;
}

} // namespace

UiString detectUiLanguage() {
    try {
        const UiString defaultName = defaultUiLanguageName();
        const std::vector<UiString> preferred = preferredUiLanguages();
        return chooseUiLanguage(defaultName, preferred);
    } catch (...) {
        return EnglishLanguageTag;
    }
}

} // namespace ardenwick
