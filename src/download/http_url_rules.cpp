#include "download/http_url_rules.h"

namespace ardenwick {

bool isRequestSchemeAllowed(bool secureScheme, std::wstring_view host) noexcept {
    return secureScheme || host == L"127.0.0.1" || host == L"localhost";
}

} // namespace ardenwick
