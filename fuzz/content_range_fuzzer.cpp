// Feeds arbitrary Content-Range values to the resume check. The first 16 bytes are the resume offset and
// the expected total (little-endian); the rest is the header value.
#include "download/content_range.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

std::uint64_t readNumber(const std::uint8_t* data) {
    std::uint64_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::string withoutLeadingZeros(std::string_view number) {
    const std::size_t first = number.find_first_not_of('0');
    return first == std::string_view::npos ? std::string("0") : std::string(number.substr(first));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 16) {
        return 0;
    }
    const std::uint64_t offset = readNumber(data);
    const std::uint64_t total = readNumber(data + 8);
    const std::string_view value(reinterpret_cast<const char*>(data + 16), size - 16);

    // The canonical form of a valid continuation must always match.
    if (total > offset) {
        const std::string canonical =
            "bytes " + std::to_string(offset) + "-" + std::to_string(total - 1) + "/" + std::to_string(total);
        if (!ardenwick::contentRangeMatches(canonical, offset, total)) {
            __builtin_trap();
        }
    }
    if (!ardenwick::contentRangeMatches(value, offset, total)) {
        return 0;
    }
    // A match names exactly that range, up to leading zeros.
    if (total <= offset || !value.starts_with("bytes ")) {
        __builtin_trap();
    }
    const std::string_view rest = value.substr(6);
    const std::size_t dash = rest.find('-');
    const std::size_t slash = rest.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
        __builtin_trap();
    }
    if (withoutLeadingZeros(rest.substr(0, dash)) != std::to_string(offset) ||
        withoutLeadingZeros(rest.substr(dash + 1, slash - dash - 1)) != std::to_string(total - 1) ||
        withoutLeadingZeros(rest.substr(slash + 1)) != std::to_string(total)) {
        __builtin_trap();
    }
    return 0;
}
