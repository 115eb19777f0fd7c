// Another process of the product holding the outbox's write lock, as the application does while it writes:
//   outbox_holder.exe <database> <ready event name> <release event name>
// Takes a write transaction (BEGIN IMMEDIATE), signals "ready", and commits once "release" is signalled
// (at most after 60 seconds). Exit code 0 after the commit; 3 when it could not take or keep the lock.
#include <windows.h>

#include <sqlite3.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 2;
    }
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    sqlite3* db = nullptr;
    if (ready == nullptr || release == nullptr ||
        sqlite3_open16(reinterpret_cast<const void*>(argv[1]), &db) != SQLITE_OK) {
        return 3;
    }
    sqlite3_busy_timeout(db, 10000);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return 3;
    }
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    const int committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    CloseHandle(release);
    CloseHandle(ready);
    return committed == SQLITE_OK ? 0 : 3;
}
