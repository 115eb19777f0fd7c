#include "installation/identifier.h"

#include "common/installation_diagnostic_error.h"

#include <windows.h>
#include <objbase.h>

namespace ardenwick {

std::string newIdentifier() {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        throw InstallationDiagnosticError("identity_unavailable");
    }
    wchar_t text[39]{};
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" is 38 characters plus the terminator.
    if (StringFromGUID2(guid, text, 39) != 39 || text[0] != L'{' || text[37] != L'}') {
        throw InstallationDiagnosticError("identity_unavailable");
    }
    std::string identifier;
    identifier.reserve(36);
    for (int i = 1; i < 37; ++i) {
        identifier.push_back(static_cast<char>(text[i]));
    }
    return identifier;
}

} // namespace ardenwick
