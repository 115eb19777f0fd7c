#pragma once

// The file operations that portable code needs, implemented for each platform (file_system_win32.cpp,
// file_system_posix.cpp). Windows code has the rest in common/win32_file.h.

#include "common/wide_path.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ardenwick {

/// The bytes of a whole file, or why there are none.
struct FileBytes {
    std::string bytes;
    /// The platform's error for a failed open or read (Win32 error or errno); 0 otherwise.
    std::uint32_t error = 0;
    /// The file holds more than the bound allowed.
    bool tooLarge = false;

    [[nodiscard]] bool ok() const noexcept { return error == 0 && !tooLarge; }
};

/// Reads a whole file of at most maxBytes, sharing it with readers and writers. A read error is
/// reported, never taken for the end of the file; a file above the bound (also one that grew while
/// it was read) is refused.
[[nodiscard]] FileBytes readFileBounded(const WidePath& path, std::size_t maxBytes);

/// Creates the folder and every missing parent; fine when it exists. Throws FileSystemError
/// "create_directories" with the folder.
void createDirectories(const WidePath& folder);

/// Moves a file over another, replacing it. 0, or the platform's error (Win32 error or errno).
[[nodiscard]] std::uint32_t moveFileReplacing(const WidePath& from, const WidePath& to) noexcept;

/// Removes a file. 0 also when there was none, or the platform's error.
[[nodiscard]] std::uint32_t removeFileIfPresent(const WidePath& path) noexcept;

/// Which file a path names: the same values mean the same file, also after it was renamed.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

/// The identity of the file at path, or none when there is no such file or it cannot be looked at.
[[nodiscard]] std::optional<FileIdentity> fileIdentity(const WidePath& path) noexcept;

/// Whether a platform error from the calls above means that there was no such file.
[[nodiscard]] bool isNoSuchFile(std::uint32_t error) noexcept;

} // namespace ardenwick
