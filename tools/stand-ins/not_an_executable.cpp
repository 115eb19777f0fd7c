// A signed image with the full installer's version resource that is a DLL, not a program: it passes
// every check of a download, and then Windows refuses to start it (ERROR_BAD_EXE_FORMAT), as it refuses
// a real installer that asks for elevation (ERROR_ELEVATION_REQUIRED) or one built for another machine.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
