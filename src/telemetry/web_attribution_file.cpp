#include "telemetry/web_attribution_file.h"

#include "common/unique_handle.h"
#include "telemetry/web_attribution.h"

#include <windows.h>

#include <string>

namespace ardenwick {

EventProperties readWebAttribution(const WidePath& executable, std::string_view expected) {
    try {
        const std::wstring stream = executable.native() + L":Zone.Identifier";
        UniqueFileHandle file(CreateFileW(stream.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return {};
        }
        // One byte more than accepted, so an oversized stream is recognised and refused.
        constexpr DWORD Limit = 8193;
        std::string bytes(Limit, '\0');
        DWORD total = 0;
        while (total < Limit) {
            DWORD read = 0;
            if (!ReadFile(file.get(), bytes.data() + total, Limit - total, &read, nullptr)) {
                return {};
            }
            if (read == 0) {
                break;
            }
            total += read;
        }
        bytes.resize(total);
        return parseZoneIdentifier(bytes, expected);
    } catch (...) {
        return {};
    }
}

} // namespace ardenwick
