#include "common/file_identity.h"

#include "common/win32_file.h"

namespace ardenwick {

DWORD queryFileIdentity(const WidePath& path, VolumeFileIdentity& identity) noexcept {
    BY_HANDLE_FILE_INFORMATION information{};
    if (const DWORD error = queryFileInformation(path, information); error != ERROR_SUCCESS) {
        return error;
    }
    identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
    return ERROR_SUCCESS;
}

bool namesSameFile(const WidePath& first, const WidePath& second) noexcept {
    VolumeFileIdentity a;
    VolumeFileIdentity b;
    return queryFileIdentity(first, a) == ERROR_SUCCESS && queryFileIdentity(second, b) == ERROR_SUCCESS &&
           a == b;
}

} // namespace ardenwick
