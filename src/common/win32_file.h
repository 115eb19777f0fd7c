#pragma once

// The program's file layer on Win32: every file the program reads, writes, moves or removes goes
// through these calls, so each failure keeps its Win32 error. Functions that return a DWORD return
// ERROR_SUCCESS or the Win32 error of the step that failed.

#include "common/file_system.h"
#include "common/unique_handle.h"
#include "common/wide_path.h"

#include <cstdint>
#include <string_view>

namespace ardenwick {

/// Opens an existing file for reading while others may read and write it.
[[nodiscard]] UniqueFileHandle openFileForReading(const WidePath& path) noexcept;

/// Reads up to size bytes at the file pointer; read is 0 at the end of the file. False on a failed
/// read, with the error in GetLastError.
[[nodiscard]] bool readFileChunk(HANDLE file, void* buffer, DWORD size, DWORD& read) noexcept;

/// Identity, attributes and size of what the path names, following links.
[[nodiscard]] DWORD queryFileInformation(const WidePath& path,
                                         BY_HANDLE_FILE_INFORMATION& information) noexcept;

/// True when the path names a file that is not a directory, following links; false on any error.
[[nodiscard]] bool isRegularFile(const WidePath& path) noexcept;

/// The size of a file, following links; a directory has none (ERROR_DIRECTORY_NOT_SUPPORTED, 336).
[[nodiscard]] DWORD queryFileSize(const WidePath& path, std::uint64_t& size) noexcept;

/// As queryFileSize, throwing FileSystemError "file_size" with the path.
[[nodiscard]] std::uint64_t fileSize(const WidePath& path);

/// Creates the folder and each missing parent; ERROR_SUCCESS when it already exists as a folder.
[[nodiscard]] DWORD tryCreateDirectories(const WidePath& folder) noexcept;

/// Moves a file, replacing the target; throws FileSystemError "rename" with the source.
void renameFile(const WidePath& from, const WidePath& to);

/// As renameFile, returning the Win32 error instead.
[[nodiscard]] DWORD tryRenameFile(const WidePath& from, const WidePath& to) noexcept;

/// The FileSystemError "rename" that renameFile throws for this error.
[[noreturn]] void throwRenameError(const WidePath& from, DWORD error);

/// Removes a file; ERROR_SUCCESS also when there was none.
DWORD removeFile(const WidePath& path) noexcept;

/// Removes a file or a folder with everything in it, without following links out of it. Goes on
/// past what cannot be removed and returns the first error; ERROR_SUCCESS when nothing was there.
DWORD removeTree(const WidePath& path) noexcept;

/// Creates or truncates a file and writes the bytes.
[[nodiscard]] DWORD writeWholeFile(const WidePath& path, std::string_view bytes) noexcept;

/// Replaces a file that others read, so that they see the old or the new content, never a part:
/// writes path + ".new", flushes it to disk and moves it over the file with MoveFileExW
/// (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). On failure the old file is untouched and
/// no ".new" file is left.
[[nodiscard]] DWORD replaceFileAtomically(const WidePath& path, std::string_view bytes) noexcept;

/// The temporary name replaceFileAtomically writes first.
[[nodiscard]] WidePath replacementPathOf(const WidePath& path);

} // namespace ardenwick
