#include "download/expected_file_version.h"

namespace ardenwick {

std::optional<std::array<std::uint16_t, 3>> parseExpectedFileVersion(std::string_view text) noexcept {
    std::array<std::uint16_t, 3> components{};
    std::size_t index = 0;
    std::uint32_t value = 0;
    bool hasDigit = false;
    for (char c : text) {
        if (c == '.') {
            if (!hasDigit || index == 2) {
                return std::nullopt;
            }
            components[index++] = static_cast<std::uint16_t>(value);
            value = 0;
            hasDigit = false;
            continue;
        }
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        // Leading zeros keep the value small, so this bound also stops any overflow.
        if (value > 65535) {
            return std::nullopt;
        }
        hasDigit = true;
    }
    if (!hasDigit || index != 2) {
        return std::nullopt;
    }
    components[2] = static_cast<std::uint16_t>(value);
    return components;
}

bool hasExecutableExtension(std::wstring_view fileName) noexcept {
    if (const std::size_t stream = fileName.find(L':'); stream != std::wstring_view::npos) {
        fileName = fileName.substr(0, stream);
    }
    const std::size_t dot = fileName.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0) {
        return false;
    }
    return fileName.substr(dot) == L".exe";
}

} // namespace ardenwick
