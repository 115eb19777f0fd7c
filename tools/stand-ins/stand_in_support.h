#pragma once

// Small helpers shared by the stand-ins for the full installer, the launcher and the application.
// The stand-ins are test programs: they meet what the installer relies on of the real ones and can be
// told, through environment variables, to misbehave in each documented way.

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace standin {

inline std::wstring environmentText(const wchar_t* name, const wchar_t* fallback = L"") {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    if (length == 0 || length >= 4096) {
        return fallback;
    }
    return std::wstring(buffer, length);
}

inline std::string narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length,
                        nullptr, nullptr);
    return result;
}

inline std::wstring widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

/// Writes through a temporary file so a reader never sees half a document.
inline bool writeFileAtomically(const std::filesystem::path& path, const std::string& content) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    const std::filesystem::path temporary = path.wstring() + L".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out) {
            return false;
        }
    }
    // A file that another process has open cannot be replaced, and the installer polls these documents
    // every 100 ms: like any careful writer, try again for a while rather than fail on a reader's
    // moment with the file.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(temporary.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
            return false;
        }
        Sleep(20);
    }
}

/// Appends one line to the file named by ARDENWICK_STANDIN_LOG, so tests can see what ran and how.
inline void logLine(const std::wstring& line) {
    const std::wstring path = environmentText(L"ARDENWICK_STANDIN_LOG");
    if (path.empty()) {
        return;
    }
    // Append-only access: each write lands whole at the end, also while other stand-ins (two installers,
    // a launcher and its application) write at the same moment; a stream seeks and may overwrite theirs.
    HANDLE file =
        CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = narrow(line) + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

inline std::filesystem::path ownPath() {
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(length);
    return buffer;
}

} // namespace standin
