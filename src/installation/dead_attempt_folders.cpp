#include "installation/dead_attempt_folders.h"

#include "common/unique_handle.h"
#include "common/win32_file.h"
#include "installation/attempt_identifier.h"

#include <string>
#include <vector>

namespace ardenwick {
namespace {

std::vector<WidePath> attemptFoldersIn(const WidePath& stateDirectory) {
    std::vector<WidePath> folders;
    WIN32_FIND_DATAW entry{};
    const std::wstring pattern = (stateDirectory / L"*").native();
    UniqueFindHandle search(
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        return folders;
    }
    do {
        // A link named like an attempt is not one of ours; removeTree would only unlink it anyway.
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && isAttemptIdentifier(entry.cFileName)) {
            folders.push_back(stateDirectory / entry.cFileName);
        }
    } while (FindNextFileW(search.get(), &entry));
    return folders;
}

bool attemptHeld(const WidePath& folder) {
    // Asking for delete access fails at once while an attempt holds the folder (its lock shares read and
    // write only), before anything in it is touched. No attempt takes a folder that exists already: each
    // makes a fresh name.
    return !UniqueFileHandle(
        CreateFileW(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

} // namespace

bool attemptInstallerRunning(const WidePath& attemptFolder) noexcept {
    try {
        // Opened for writing data only, sharing everything: nothing is written, and only a mapped image
        // (or a holder that refuses writers, such as a scanner for a moment) makes the open fail with 32.
        const WidePath installer = attemptFolder / L"setup.exe";
        HANDLE file = CreateFileW(
            installer.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        const DWORD error = GetLastError();
        const UniqueFileHandle opened(file);
        return !opened && error == ERROR_SHARING_VIOLATION;
    } catch (...) {
        return false;
    }
}

bool earlierInstallerRunning(const WidePath& stateDirectory) noexcept {
    try {
        for (const WidePath& folder : attemptFoldersIn(stateDirectory)) {
            if (attemptInstallerRunning(folder)) {
                return true;
            }
        }
    } catch (...) {
    }
    return false;
}

void removeDeadAttemptFolders(const WidePath& stateDirectory) noexcept {
    try {
        for (const WidePath& folder : attemptFoldersIn(stateDirectory)) {
            // The installer of a killed run outlives it: its setup.exe could not be removed, but its
            // identity and context records could, while it still reads them.
            if (!attemptHeld(folder) && !attemptInstallerRunning(folder)) {
                (void)removeTree(folder);
            }
        }
    } catch (...) {
        // Clean-up is best effort, as the attempt's own.
    }
}

} // namespace ardenwick
