/* Planted beside a probe as "version.dll", with the marking DllMain of every planted DLL
 * (tests/e2e/planted_dll_probe.c): loading it at all is the failure. It exports the one function the
 * delay-import probe calls, under its real name (planted_version.def), so a wrong resolver gets an answer
 * instead of a crash. */
#include <windows.h>

DWORD WINAPI plantedFileVersionInfoSize(LPCWSTR file, LPDWORD handle) {
    (void)file;
    if (handle != NULL) {
        *handle = 0;
    }
    return 0;
}
