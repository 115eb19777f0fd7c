#include <windows.h>

#include "support/wine_host.h"

namespace ardenwick::testing {

bool runningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace ardenwick::testing
