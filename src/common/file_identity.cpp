#include "common/file_identity.h"

#include "common/win32_file.h"

namespace ardenwick {

DWORD queryFileIdentity(const WidePath& path, FileIdentity& identity) noexcept {
    BY_HANDLE_FILE_INFORMATION information{};
    if (const DWORD error = queryFileInformation(path, information); error != ERROR_SUCCESS) {
        return error;
    }
    identity = {information.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    return ERROR_SUCCESS;
}

bool namesSameFile(const WidePath& first, const WidePath& second) noexcept {
    FileIdentity a;
    FileIdentity b;
    return queryFileIdentity(first, a) == ERROR_SUCCESS && queryFileIdentity(second, b) == ERROR_SUCCESS &&
           a == b;
}

} // namespace ardenwick
