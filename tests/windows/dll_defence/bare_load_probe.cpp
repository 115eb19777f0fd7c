// A bare LoadLibraryW of a name that is not a KnownDLL, as system DLLs do at run time. Linked twice: with
// the program's process entry (the entry alone keeps the planted copy out) and without it (the planted
// copy is loaded, which shows that the test's world can catch a missing defence).
#include "probe_report.h"

int main() {
    (void)LoadLibraryW(L"version.dll");
    return reportVersionDll();
}
