#include "installation/install_location.h"

#include "common/absolute_path.h"
#include "common/user_state.h"

#include <windows.h>

#include <string>
#include <vector>

namespace ardenwick {

WidePath readInstallLocation() noexcept {
    try {
        const auto key = userRegistryKey(InstallRegistryKey);
        if (!key) {
            return {};
        }
        constexpr DWORD bufferBytes = 65536;
        std::vector<wchar_t> buffer(bufferBytes / sizeof(wchar_t), L'\0');
        DWORD size = bufferBytes;
        // RRF_NOEXPAND: without it a REG_EXPAND_SZ value is expanded and accepted as REG_SZ.
        const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, key->c_str(), InstallLocationValue,
                                            RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, buffer.data(), &size);
        if (status != ERROR_SUCCESS) {
            return {};
        }
        std::wstring value(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
        if (!isAbsolutePath(value)) {
            return {};
        }
        return WidePath(value) / LauncherFileName;
    } catch (...) {
        return {};
    }
}

} // namespace ardenwick
