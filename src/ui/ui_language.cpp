#include "ui/ui_language.h"

#include "ui/localized_strings.h"

#include <vector>

namespace ardenwick {
namespace {

constexpr std::size_t MaxSubtagLength = 8;

[[nodiscard]] bool isTagCharacter(UiChar c) noexcept {
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-';
}

} // namespace

UiString supportedLanguageFor(UiStringView tag) {
    // Only ASCII letters are lowered: any other character makes the tag unusable anyway.
    UiString lowered(tag);
    for (UiChar& c : lowered) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<UiChar>(c - u'A' + u'a');
        }
    }
    if (lowered.empty()) {
        return {};
    }
    for (UiChar c : lowered) {
        if (!isTagCharacter(c)) {
            return {};
        }
    }

    std::vector<UiStringView> parts;
    const UiStringView text(lowered);
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = text.find(u'-', begin);
        const UiStringView part =
            text.substr(begin, end == UiStringView::npos ? UiStringView::npos : end - begin);
        if (part.empty() || part.size() > MaxSubtagLength) {
            return {};
        }
        parts.push_back(part);
        if (end == UiStringView::npos) {
            break;
        }
        begin = end + 1;
    }

    const UiStringView language = parts.front();
    UiStringView script;
    UiStringView region;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const UiStringView part = parts[i];
        if (part.size() == 1) {
            break; // an extension or private-use singleton: what follows is not examined
        }
        if (part.size() == 4 && script.empty()) {
            script = part;
        } else if ((part.size() == 2 || part.size() == 3) && region.empty()) {
            region = part;
        }
    }

    if (language == ARDENWICK_UI_TEXT("en")) {
        return EnglishLanguageTag;
    }
    if (language == ARDENWICK_UI_TEXT("zh")) {
        if (script.empty()) {
            const bool traditionalRegion = region == ARDENWICK_UI_TEXT("tw") ||
                                           region == ARDENWICK_UI_TEXT("hk") ||
                                           region == ARDENWICK_UI_TEXT("mo");
            script = traditionalRegion ? ARDENWICK_UI_TEXT("hant") : ARDENWICK_UI_TEXT("hans");
        }
        return script == ARDENWICK_UI_TEXT("hans") ? UiString(ChineseLanguageTag) : UiString();
    }
    if (language == ARDENWICK_UI_TEXT("pt")) {
        return region.empty() || region == ARDENWICK_UI_TEXT("br") ? UiString(PortugueseLanguageTag)
                                                                   : UiString();
    }
    return {};
}

UiString chooseUiLanguage(UiStringView defaultLanguage, std::span<const UiString> preferred) {
    if (UiString chosen = supportedLanguageFor(defaultLanguage); !chosen.empty()) {
        return chosen;
    }
    for (const UiString& language : preferred) {
        if (UiString chosen = supportedLanguageFor(language); !chosen.empty()) {
            return chosen;
        }
    }
    return EnglishLanguageTag;
}

} // namespace ardenwick
