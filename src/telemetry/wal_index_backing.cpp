#include "telemetry/wal_index_backing.h"

#include "common/unique_handle.h"

#include <windows.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <string>

namespace ardenwick {

namespace {

// The bytes of region 0 that SQLite's Windows file system locks (its lock bytes and the dead-man switch
// after them): a write from another handle into a locked range fails, and they are never ours to write.
constexpr LONGLONG LockedFirst = 120;
constexpr LONGLONG LockedEnd = 129;

/// What the shim keeps after the original file object: the database's name, which SQLite keeps valid
/// and unchanged until the file's xClose.
struct FileExtra {
    const char* name;
};

struct Shim {
    sqlite3_vfs vfs{};
    sqlite3_vfs* original = nullptr;
    int extraOffset = 0;
    std::once_flag methodsOnce;
    const sqlite3_io_methods* originalMethods = nullptr;
    sqlite3_io_methods methods{};
};

Shim& shim() {
    static Shim instance;
    return instance;
}

FileExtra& extraOf(sqlite3_file* file) {
    return *reinterpret_cast<FileExtra*>(reinterpret_cast<char*>(file) + shim().extraOffset);
}

std::wstring wideFromUtf8(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 0U, L'\0');
    if (length <= 0 || MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length) != length) {
        return {};
    }
    wide.pop_back();
    return wide;
}

/// Writes zeros from the WAL index's end up to size, so every block it will map is really there. False
/// when the volume (or anything else) refuses a write; true also when the file cannot be opened here,
/// which leaves the growth to SQLite as before.
bool backWalIndex(const char* databaseName, LONGLONG size) {
    const std::wstring name = wideFromUtf8(databaseName);
    if (name.empty()) {
        return true;
    }
    const UniqueFileHandle index(CreateFileW((name + L"-shm").c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end{};
    if (!index || !GetFileSizeEx(index.get(), &end)) {
        return true;
    }
    const std::array<char, 4096> zeros{};
    for (LONGLONG at = end.QuadPart; at < size;) {
        if (at >= LockedFirst && at < LockedEnd) {
            at = LockedEnd;
            continue;
        }
        const LONGLONG stop =
            std::min(at < LockedFirst ? LockedFirst : size, std::min(size, at + LONGLONG{zeros.size()}));
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(static_cast<ULONGLONG>(at) >> 32);
        DWORD written = 0;
        if (!WriteFile(index.get(), zeros.data(), static_cast<DWORD>(stop - at), &written, &where) ||
            written == 0) {
            return false;
        }
        at += written;
    }
    return true;
}

int shmMap(sqlite3_file* file, int region, int regionSize, int extend, void volatile** mapped) {
    const auto originalMap = shim().originalMethods->xShmMap;
    if (extend != 0) {
        // Without extending first: SQLite opens and locks the index (a first opener empties it) and
        // maps the region when the file already holds it.
        if (const int result = originalMap(file, region, regionSize, 0, mapped);
            result != SQLITE_OK || *mapped != nullptr) {
            return result;
        }
        if (!backWalIndex(extraOf(file).name, LONGLONG{region + 1} * regionSize)) {
            return SQLITE_IOERR_SHMSIZE;
        }
    }
    return originalMap(file, region, regionSize, extend, mapped);
}

int open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    Shim& state = shim();
    extraOf(file).name = name;
    const int result = state.original->xOpen(state.original, name, file, flags, outFlags);
    if (result != SQLITE_OK || file->pMethods == nullptr || name == nullptr ||
        (flags & SQLITE_OPEN_MAIN_DB) == 0) {
        return result;
    }
    std::call_once(state.methodsOnce, [&] {
        state.originalMethods = file->pMethods;
        state.methods = *file->pMethods;
        state.methods.xShmMap = shmMap;
    });
    if (file->pMethods == state.originalMethods && state.methods.iVersion >= 2 &&
        state.originalMethods->xShmMap != nullptr) {
        file->pMethods = &state.methods;
    }
    return result;
}

} // namespace

void backWalIndexGrowth() noexcept {
    [[maybe_unused]] static const bool registered = [] {
        Shim& state = shim();
        state.original = sqlite3_vfs_find(nullptr);
        if (state.original == nullptr) {
            return false;
        }
        state.extraOffset = (state.original->szOsFile + 7) & ~7;
        state.vfs = *state.original;
        state.vfs.pNext = nullptr;
        state.vfs.zName = "ardenwick-backed-wal-index";
        state.vfs.szOsFile = state.extraOffset + static_cast<int>(sizeof(FileExtra));
        state.vfs.xOpen = open;
        return sqlite3_vfs_register(&state.vfs, 1) == SQLITE_OK;
    }();
}

} // namespace ardenwick
