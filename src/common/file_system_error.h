#pragma once

#include "common/wide_path.h"

#include <string>
#include <system_error>

namespace ardenwick {

/// A file-system operation that failed: its message starts with the operation's name
/// ("create_directories", "rename", "file_size"), its code is the platform's own (a Win32 error in
/// the system category on Windows, errno elsewhere) and it keeps the path it was about.
class FileSystemError : public std::system_error {
public:
    FileSystemError(const std::string& operation, std::error_code code, WidePath path)
        : std::system_error(code, operation), operation_(operation), path_(std::move(path)) {}

    [[nodiscard]] const std::string& operation() const noexcept { return operation_; }
    [[nodiscard]] const WidePath& path() const noexcept { return path_; }

private:
    std::string operation_;
    WidePath path_;
};

} // namespace ardenwick
