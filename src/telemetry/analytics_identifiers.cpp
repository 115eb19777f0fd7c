#include "telemetry/analytics_identifiers.h"

#include <algorithm>
#include <cstdint>
#include <random>

namespace ardenwick {

bool isValidDistinctId(std::string_view distinctId) {
    if (distinctId.size() > 200 || distinctId.substr(0, 5) != "anon_") {
        return false;
    }
    return std::all_of(distinctId.begin(), distinctId.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-';
    });
}

std::string outboxFileName(std::string_view apiKey) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : apiKey) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return std::to_string(hash) + ".db";
}

std::string newUuidV4() {
    std::random_device device;
    unsigned char bytes[16];
    for (std::size_t i = 0; i < sizeof bytes; i += 4) {
        const auto word = static_cast<std::uint32_t>(device());
        for (std::size_t j = 0; j < 4; ++j) {
            bytes[i + j] = static_cast<unsigned char>(word >> (8 * j));
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    std::string text;
    text.reserve(36);
    static constexpr char Hex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text.push_back('-');
        }
        text.push_back(Hex[bytes[i] >> 4]);
        text.push_back(Hex[bytes[i] & 0x0F]);
    }
    return text;
}

} // namespace ardenwick
