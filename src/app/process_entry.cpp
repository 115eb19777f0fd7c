// The executable's entry point (linked with -e): it runs before the C runtime's start-up, so before any
// static constructor, and narrows where DLLs may come from before anything can load one.
#include <windows.h>

extern "C" int WINAPI WinMainCRTStartup();

extern "C" int WINAPI ardenwickProcessEntry() {
    // Only System32 for every later load that does not name its own directories, and no current
    // directory for those that use the old search order.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    return WinMainCRTStartup();
}
