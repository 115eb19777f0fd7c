#include "common/version_text.h"

namespace ardenwick {

namespace {

// One component: "0", or 1 to 9 ASCII digits without a leading zero. Advances `text` past it.
bool takeComponent(std::string_view& text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    if (digits == 0 || digits > 9 || (digits > 1 && text[0] == '0')) {
        return false;
    }
    text.remove_prefix(digits);
    return true;
}

} // namespace

bool isVersionText(std::string_view text) {
    // Hand-written rather than std::regex: same grammar, without the regex and locale machinery in the
    // executable.
    for (int component = 0; component < 3; ++component) {
        if (component > 0) {
            if (text.empty() || text.front() != '.') {
                return false;
            }
            text.remove_prefix(1);
        }
        if (!takeComponent(text)) {
            return false;
        }
    }
    return text.empty();
}

} // namespace ardenwick
