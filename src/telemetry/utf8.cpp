#include "telemetry/utf8.h"

#include <cstdint>

namespace ardenwick {

namespace {

// Decodes one code point at text[index]; advances index. Returns nothing on a malformed sequence.
std::optional<char32_t> decodeOne(std::string_view text, std::size_t& index) {
    const auto lead = static_cast<unsigned char>(text[index]);
    if (lead < 0x80) {
        ++index;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - index < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[index + i]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return std::nullopt;
    }
    index += length;
    return value;
}

} // namespace

bool isValidUtf8(std::string_view text) {
    std::size_t index = 0;
    while (index < text.size()) {
        if (!decodeOne(text, index)) {
            return false;
        }
    }
    return true;
}

std::optional<std::wstring> utf8ToWideStrict(std::string_view text) {
    std::wstring result;
    std::size_t index = 0;
    while (index < text.size()) {
        const auto value = decodeOne(text, index);
        if (!value) {
            return std::nullopt;
        }
        if constexpr (sizeof(wchar_t) == 2) {
            if (*value >= 0x10000) {
                const char32_t offset = *value - 0x10000;
                result.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
                result.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
                continue;
            }
        }
        result.push_back(static_cast<wchar_t>(*value));
    }
    return result;
}

} // namespace ardenwick
