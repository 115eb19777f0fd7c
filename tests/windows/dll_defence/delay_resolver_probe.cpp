// The delay-load resolver alone: this probe takes version.dll through a delay import resolved by the
// program's __delayLoadHelper2 (src/app/delay_load_helper.cpp), but does not enter through the program's
// process entry, so nothing has narrowed the DLL search path before the first call.
#include "probe_report.h"

int main() {
    DWORD handle = 0;
    (void)GetFileVersionInfoSizeW(L"kernel32.dll", &handle);
    return reportVersionDll();
}
