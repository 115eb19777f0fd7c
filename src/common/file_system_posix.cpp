#include "common/file_system.h"

#include "common/file_system_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace ardenwick {
namespace {

/// The path as UTF-8, as the system takes it; wchar_t holds whole code points here, and one that is no
/// Unicode scalar value names no file.
std::string pathUtf8(const WidePath& path) {
    for (const wchar_t c : path.native()) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            throw std::runtime_error("Invalid UTF-32 text");
        }
    }
    return path.u8string();
}

/// Closes a descriptor on every path.
class Descriptor {
public:
    explicit Descriptor(int descriptor) noexcept : descriptor_(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    [[nodiscard]] int get() const noexcept { return descriptor_; }

private:
    int descriptor_;
};

bool isFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int createLevels(const WidePath& folder) {
    const std::string path = pathUtf8(folder);
    if (::mkdir(path.c_str(), 0777) == 0) {
        return 0;
    }
    int error = errno;
    if (error == ENOENT) {
        const WidePath parent = folder.parent_path();
        if (parent.empty() || parent == folder) {
            return error;
        }
        if (const int parentError = createLevels(parent); parentError != 0) {
            return parentError;
        }
        if (::mkdir(path.c_str(), 0777) == 0) {
            return 0;
        }
        error = errno;
    }
    return isFolder(path) ? 0 : error;
}

} // namespace

FileBytes readFileBounded(const WidePath& path, std::size_t maxBytes) {
    FileBytes result;
    const Descriptor file(::open(pathUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        result.error = static_cast<std::uint32_t>(errno);
        return result;
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        result.error = static_cast<std::uint32_t>(errno);
        return result;
    }
    if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        result.tooLarge = true;
        return result;
    }
    std::string& bytes = result.bytes;
    bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes) {
                break;
            }
            bytes.resize(std::min(maxBytes + 1, std::max<std::size_t>(bytes.size() * 2, 4096)));
        }
        const ssize_t read = ::read(file.get(), bytes.data() + total, bytes.size() - total);
        if (read < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.error = static_cast<std::uint32_t>(errno);
            bytes.clear();
            return result;
        }
        if (read == 0) {
            break;
        }
        total += static_cast<std::size_t>(read);
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
    std::wstring text = folder.native();
    while (text.size() > 1 && WidePath::isSeparator(text.back())) {
        text.pop_back();
    }
    if (const int error = createLevels(WidePath(text)); error != 0) {
        throw FileSystemError("create_directories", std::error_code(error, std::generic_category()), folder);
    }
}

std::uint32_t moveFileReplacing(const WidePath& from, const WidePath& to) noexcept {
    try {
        return ::rename(pathUtf8(from).c_str(), pathUtf8(to).c_str()) == 0
                   ? 0
                   : static_cast<std::uint32_t>(errno);
    } catch (...) {
        return static_cast<std::uint32_t>(EINVAL);
    }
}

std::uint32_t removeFileIfPresent(const WidePath& path) noexcept {
    try {
        if (::unlink(pathUtf8(path).c_str()) == 0 || errno == ENOENT) {
            return 0;
        }
        return static_cast<std::uint32_t>(errno);
    } catch (...) {
        return static_cast<std::uint32_t>(EINVAL);
    }
}

std::optional<FileIdentity> fileIdentity(const WidePath& path) noexcept {
    try {
        struct stat status {};
        if (::stat(pathUtf8(path).c_str(), &status) != 0) {
            return std::nullopt;
        }
        return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                            static_cast<std::uint64_t>(status.st_ino)};
    } catch (...) {
        return std::nullopt;
    }
}

bool isNoSuchFile(std::uint32_t error) noexcept {
    return error == ENOENT;
}

} // namespace ardenwick
