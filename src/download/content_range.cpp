#include "download/content_range.h"

#include <limits>
#include <optional>

namespace ardenwick {
namespace {

// Reads decimal digits from the front of `text` up to `terminator` (or to the end when it is 0) and
// removes them and the terminator. Empty, overflowing or stray characters give no value.
std::optional<std::uint64_t> takeNumber(std::string_view& text, char terminator) noexcept {
    std::uint64_t value = 0;
    std::size_t index = 0;
    for (; index < text.size() && text[index] != terminator; ++index) {
        const char character = text[index];
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(character - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    if (index == 0) {
        return std::nullopt;
    }
    if (terminator != '\0') {
        if (index == text.size()) {
            return std::nullopt;
        }
        ++index;
    }
    text.remove_prefix(index);
    return value;
}

} // namespace

bool contentRangeMatches(std::string_view value, std::uint64_t offset, std::uint64_t total) noexcept {
    constexpr std::string_view prefix = "bytes ";
    if (value.size() <= 5 || !value.starts_with(prefix)) {
        return false;
    }
    std::string_view rest = value.substr(prefix.size());
    const auto first = takeNumber(rest, '-');
    if (!first) {
        return false;
    }
    const auto last = takeNumber(rest, '/');
    if (!last) {
        return false;
    }
    // The complete length runs to the end; a NUL inside it is a stray character like any other.
    if (rest.find('\0') != std::string_view::npos) {
        return false;
    }
    const auto complete = takeNumber(rest, '\0');
    if (!complete || !rest.empty()) {
        return false;
    }
    return *complete == total && *first == offset && *last >= *first && *last < *complete &&
           *complete == *last + 1;
}

} // namespace ardenwick
