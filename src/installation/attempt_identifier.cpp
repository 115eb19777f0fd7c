#include "installation/attempt_identifier.h"

namespace ardenwick {

bool isAttemptIdentifier(std::wstring_view name) noexcept {
    if (name.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != L'-') {
                return false;
            }
        } else if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace ardenwick
