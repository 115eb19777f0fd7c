// Holds a named mutex for another test process:
//   telemetry_mutex_holder.exe <mutex name> <ready event name> <release event name>
// Owns the mutex, signals "ready", and keeps it until "release" is signalled (at most 30 seconds).
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 2;
    }
    HANDLE mutex = CreateMutexW(nullptr, TRUE, argv[1]);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (mutex == nullptr || ready == nullptr || release == nullptr) {
        return 3;
    }
    SetEvent(ready);
    WaitForSingleObject(release, 30000);
    ReleaseMutex(mutex);
    CloseHandle(release);
    CloseHandle(ready);
    CloseHandle(mutex);
    return 0;
}
