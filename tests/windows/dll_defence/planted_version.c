/* Planted beside a probe as "version.dll". Loading it at all is the failure: its DllMain leaves
 * "version.dll.loaded" beside itself. It exports the one function the delay-import probe calls, under its
 * real name (planted_version.def), so a wrong resolver gets an answer instead of a crash. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 8];
        const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(path, L".loaded");
            HANDLE marker =
                CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (marker != INVALID_HANDLE_VALUE) {
                CloseHandle(marker);
            }
        }
    }
    return TRUE;
}

DWORD WINAPI plantedFileVersionInfoSize(LPCWSTR file, LPDWORD handle) {
    (void)file;
    if (handle != NULL) {
        *handle = 0;
    }
    return 0;
}
