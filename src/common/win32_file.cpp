#include "common/win32_file.h"

#include "common/file_identity.h"
#include "common/file_system_error.h"

#include <algorithm>
#include <string>

namespace ardenwick {
namespace {

// ReadFile and WriteFile take 32-bit counts; larger transfers go in steps of this size.
constexpr DWORD LargestTransfer = 1u << 30;

// ERROR_DIRECTORY_NOT_SUPPORTED, which mingw-w64's headers lack: a directory has no file size.
constexpr DWORD DirectoryHasNoSize = 336;

bool isNotFound(DWORD error) noexcept {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

DWORD lastErrorOr(DWORD fallback) noexcept {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

DWORD writeAll(const WidePath& path, std::string_view bytes, bool flush) noexcept {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return lastErrorOr(ERROR_OPEN_FAILED);
    }
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), LargestTransfer));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) {
            return lastErrorOr(ERROR_WRITE_FAULT);
        }
        if (written == 0) {
            return ERROR_WRITE_FAULT;
        }
        bytes.remove_prefix(written);
    }
    if (flush && !FlushFileBuffers(file.get())) {
        return lastErrorOr(ERROR_WRITE_FAULT);
    }
    // The last buffered data can still fail to reach the disk when the handle closes.
    if (!CloseHandle(file.release())) {
        return lastErrorOr(ERROR_WRITE_FAULT);
    }
    return ERROR_SUCCESS;
}

DWORD removeEntry(const std::wstring& path, DWORD attributes) noexcept {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str())) {
        return ERROR_SUCCESS;
    }
    const DWORD error = lastErrorOr(ERROR_ACCESS_DENIED);
    return isNotFound(error) ? ERROR_SUCCESS : error;
}

DWORD removeTreeEntry(const std::wstring& path, DWORD attributes) noexcept {
    // A link or junction is removed itself; what it points to is not part of the tree.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return removeEntry(path, attributes);
    }
    DWORD first = ERROR_SUCCESS;
    try {
        WIN32_FIND_DATAW entry{};
        const std::wstring pattern = (WidePath(path) / L"*").native();
        UniqueFindHandle search(
            FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
        if (!search) {
            first = lastErrorOr(ERROR_ACCESS_DENIED);
            if (first == ERROR_FILE_NOT_FOUND) {
                first = ERROR_SUCCESS;
            }
        } else {
            do {
                const std::wstring_view name(entry.cFileName);
                if (name == L"." || name == L"..") {
                    continue;
                }
                const DWORD error = removeTreeEntry((WidePath(path) / name).native(), entry.dwFileAttributes);
                if (first == ERROR_SUCCESS) {
                    first = error;
                }
            } while (FindNextFileW(search.get(), &entry));
        }
    } catch (...) {
        if (first == ERROR_SUCCESS) {
            first = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    const DWORD error = removeEntry(path, attributes);
    return first != ERROR_SUCCESS ? first : error;
}

} // namespace

UniqueFileHandle openFileForReading(const WidePath& path) noexcept {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool readFileChunk(HANDLE file, void* buffer, DWORD size, DWORD& read) noexcept {
    read = 0;
    return ReadFile(file, buffer, size, &read, nullptr) != FALSE;
}

DWORD queryFileInformation(const WidePath& path, BY_HANDLE_FILE_INFORMATION& information) noexcept {
    // Asking for attributes only never conflicts with how others opened the file.
    UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        return lastErrorOr(ERROR_OPEN_FAILED);
    }
    if (!GetFileInformationByHandle(file.get(), &information)) {
        return lastErrorOr(ERROR_INVALID_FUNCTION);
    }
    return ERROR_SUCCESS;
}

bool isRegularFile(const WidePath& path) noexcept {
    BY_HANDLE_FILE_INFORMATION information{};
    return queryFileInformation(path, information) == ERROR_SUCCESS &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD queryFileSize(const WidePath& path, std::uint64_t& size) noexcept {
    BY_HANDLE_FILE_INFORMATION information{};
    if (const DWORD error = queryFileInformation(path, information); error != ERROR_SUCCESS) {
        return error;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return DirectoryHasNoSize;
    }
    size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return ERROR_SUCCESS;
}

std::uint64_t fileSize(const WidePath& path) {
    std::uint64_t size = 0;
    if (const DWORD error = queryFileSize(path, size); error != ERROR_SUCCESS) {
        throw FileSystemError("file_size", std::error_code(static_cast<int>(error), std::system_category()),
                              path);
    }
    return size;
}

DWORD tryCreateDirectories(const WidePath& folder) noexcept {
    try {
        std::wstring text = folder.native();
        while (text.size() > 1 && WidePath::isSeparator(text.back()) && text[text.size() - 2] != L':') {
            text.pop_back();
        }
        if (text.empty()) {
            return ERROR_PATH_NOT_FOUND;
        }
        const auto existsAsFolder = [&text] {
            const DWORD attributes = GetFileAttributesW(text.c_str());
            return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        };
        if (CreateDirectoryW(text.c_str(), nullptr)) {
            return ERROR_SUCCESS;
        }
        DWORD error = lastErrorOr(ERROR_CANNOT_MAKE);
        if (error == ERROR_PATH_NOT_FOUND) {
            const WidePath parent = WidePath(text).parent_path();
            if (parent.empty() || parent.native() == text) {
                return error;
            }
            if (const DWORD parentError = tryCreateDirectories(parent); parentError != ERROR_SUCCESS) {
                return parentError;
            }
            if (CreateDirectoryW(text.c_str(), nullptr)) {
                return ERROR_SUCCESS;
            }
            error = lastErrorOr(ERROR_CANNOT_MAKE);
        }
        // Also a drive's root, which cannot be created and answers access denied.
        return existsAsFolder() ? ERROR_SUCCESS : error;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD tryRenameFile(const WidePath& from, const WidePath& to) noexcept {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return lastErrorOr(ERROR_ACCESS_DENIED);
    }
    return ERROR_SUCCESS;
}

void throwRenameError(const WidePath& from, DWORD error) {
    throw FileSystemError("rename", std::error_code(static_cast<int>(error), std::system_category()), from);
}

void renameFile(const WidePath& from, const WidePath& to) {
    if (const DWORD error = tryRenameFile(from, to); error != ERROR_SUCCESS) {
        throwRenameError(from, error);
    }
}

DWORD removeFile(const WidePath& path) noexcept {
    return removeEntry(path.native(), FILE_ATTRIBUTE_NORMAL);
}

DWORD removeTree(const WidePath& path) noexcept {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = lastErrorOr(ERROR_FILE_NOT_FOUND);
        return isNotFound(error) ? ERROR_SUCCESS : error;
    }
    return removeTreeEntry(path.native(), attributes);
}

DWORD writeWholeFile(const WidePath& path, std::string_view bytes) noexcept {
    return writeAll(path, bytes, false);
}

WidePath replacementPathOf(const WidePath& path) {
    return WidePath(path.native() + L".new");
}

DWORD replaceFileAtomically(const WidePath& path, std::string_view bytes) noexcept {
    try {
        const WidePath temporary = replacementPathOf(path);
        DWORD error = writeAll(temporary, bytes, true);
        if (error == ERROR_SUCCESS && !MoveFileExW(temporary.c_str(), path.c_str(),
                                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = lastErrorOr(ERROR_ACCESS_DENIED);
        }
        if (error != ERROR_SUCCESS) {
            DeleteFileW(temporary.c_str());
        }
        return error;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

FileBytes readFileBounded(const WidePath& path, std::size_t maxBytes) {
    FileBytes result;
    const UniqueFileHandle file = openFileForReading(path);
    if (!file) {
        result.error = lastErrorOr(ERROR_OPEN_FAILED);
        return result;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        result.error = lastErrorOr(ERROR_INVALID_FUNCTION);
        return result;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        result.tooLarge = true;
        return result;
    }
    // One byte more than the size, so a file that grew since is noticed.
    std::string& bytes = result.bytes;
    bytes.resize(static_cast<std::size_t>(size.QuadPart) + 1);
    std::size_t total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes) {
                break;
            }
            bytes.resize(std::min(maxBytes + 1, std::max<std::size_t>(bytes.size() * 2, 4096)));
        }
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - total, LargestTransfer));
        if (!readFileChunk(file.get(), bytes.data() + total, chunk, read)) {
            result.error = lastErrorOr(ERROR_READ_FAULT);
            bytes.clear();
            return result;
        }
        if (read == 0) {
            break;
        }
        total += read;
    }
    if (total > maxBytes) {
        result.tooLarge = true;
        bytes.clear();
        return result;
    }
    bytes.resize(total);
    return result;
}

void createDirectories(const WidePath& folder) {
    if (const DWORD error = tryCreateDirectories(folder); error != ERROR_SUCCESS) {
        throw FileSystemError("create_directories",
                              std::error_code(static_cast<int>(error), std::system_category()), folder);
    }
}

std::uint32_t moveFileReplacing(const WidePath& from, const WidePath& to) noexcept {
    return tryRenameFile(from, to);
}

std::uint32_t removeFileIfPresent(const WidePath& path) noexcept {
    return removeFile(path);
}

std::optional<FileIdentity> fileIdentity(const WidePath& path) noexcept {
    FileIdentity identity;
    if (queryFileIdentity(path, identity) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return identity;
}

bool isNoSuchFile(std::uint32_t error) noexcept {
    return isNotFound(error);
}

} // namespace ardenwick
