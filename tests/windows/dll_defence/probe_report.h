#pragma once

#include <windows.h>

#include <cstdio>
#include <cwchar>

// Where the probe's "version.dll" came from, as its exit code: 0 from elsewhere (System32), 1 from the
// probe's own folder (the planted copy), 2 not loaded at all.
inline int reportVersionDll() {
    const HMODULE module = GetModuleHandleW(L"version.dll");
    if (module == nullptr) {
        std::printf("version.dll is not loaded\n");
        return 2;
    }
    wchar_t loaded[MAX_PATH]{};
    wchar_t own[MAX_PATH]{};
    GetModuleFileNameW(module, loaded, MAX_PATH);
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    wchar_t* ownName = std::wcsrchr(own, L'\\');
    const std::size_t folderLength = ownName == nullptr ? 0 : static_cast<std::size_t>(ownName - own) + 1;
    std::printf("version.dll loaded from %ls\n", loaded);
    return _wcsnicmp(loaded, own, folderLength) == 0 && std::wcschr(loaded + folderLength, L'\\') == nullptr
               ? 1
               : 0;
}
