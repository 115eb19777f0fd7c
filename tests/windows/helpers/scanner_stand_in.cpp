// Holds files the way a virus scanner or a live attempt does, for tests:
//   scanner_stand_in partial <state-directory> <full-size> <hold-after-ms> <event>
//       opens the first <state-directory>\<folder>\setup.partial that appears in a folder made after
//       the helper started (it sets <event>.watching once it knows which folders were there) as a
//       scanner does
//       (GENERIC_READ, sharing read and write, not delete), sets <event>, keeps it open until the file
//       has <full-size> bytes and then <hold-after-ms> longer ("ended": until the process is ended);
//       exits 0, or 3 when nothing appeared in two minutes.
//   scanner_stand_in unreadable <state-directory> <full-size> <hold-after-ms> <event>
//       the same, but as a scanner that lets nobody else read the file meanwhile (GENERIC_READ, sharing
//       write and delete, not read): the file can be moved, not opened for reading.
//   scanner_stand_in folder <directory> <event>
//       opens <directory> as an attempt locks its own (sharing read and write, not delete), sets
//       <event> and holds it until the process is ended.
#include <windows.h>

#include <set>
#include <string>

namespace {

std::set<std::wstring> foldersIn(const std::wstring& directory) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                names.insert(entry.cFileName);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return names;
}

void signal(const wchar_t* name) {
    if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name)) {
        SetEvent(event);
        CloseHandle(event);
    }
}

HANDLE openFirstPartial(const std::wstring& stateDirectory, const std::wstring& event, DWORD sharing) {
    const std::set<std::wstring> earlier = foldersIn(stateDirectory);
    signal((event + L".watching").c_str());
    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (GetTickCount64() < deadline) {
        for (const std::wstring& name : foldersIn(stateDirectory)) {
            if (earlier.contains(name)) {
                continue;
            }
            const std::wstring partial = stateDirectory + L"\\" + name + L"\\setup.partial";
            HANDLE file = CreateFileW(partial.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                return file;
            }
        }
        Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if ((mode == L"partial" || mode == L"unreadable") && argc == 6) {
        const DWORD sharing =
            mode == L"partial" ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE file = openFirstPartial(argv[2], argv[5], sharing);
        if (file == INVALID_HANDLE_VALUE) {
            return 3;
        }
        signal(argv[5]);
        const long long fullSize = std::stoll(argv[3]);
        LARGE_INTEGER size{};
        while (GetFileSizeEx(file, &size) && size.QuadPart < fullSize) {
            Sleep(5);
        }
        Sleep(std::wstring(argv[4]) == L"ended" ? INFINITE : std::stoul(argv[4]));
        CloseHandle(file);
        return 0;
    }
    if (mode == L"folder" && argc == 4) {
        HANDLE folder =
            CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (folder == INVALID_HANDLE_VALUE) {
            return 3;
        }
        signal(argv[3]);
        Sleep(INFINITE);
    }
    return 2;
}
