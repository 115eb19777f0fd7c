#include "download/entity_tag.h"

namespace ardenwick {

bool isStrongEntityTag(std::wstring_view text) noexcept {
    if (text.size() < 2 || text.size() > 1024 || text.front() != L'"' || text.back() != L'"') {
        return false;
    }
    for (const wchar_t character : text.substr(1, text.size() - 2)) {
        const auto value = static_cast<unsigned long>(character);
        const bool allowed =
            value == 0x21 || (value >= 0x23 && value <= 0x7E) || (value >= 0x80 && value <= 0xFF);
        if (!allowed) {
            return false;
        }
    }
    return true;
}

} // namespace ardenwick
