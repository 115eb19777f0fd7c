#include "common/semantic_version.h"

#include <stdexcept>

namespace ardenwick {
namespace {

std::uint32_t parseComponent(std::string_view text) {
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text.front() == '0')) {
        throw std::invalid_argument("Invalid semantic version");
    }
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            throw std::invalid_argument("Invalid semantic version");
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

} // namespace

SemanticVersion parseSemanticVersion(std::string_view text) noexcept {
    try {
        const std::size_t firstDot = text.find('.');
        if (firstDot == std::string_view::npos) {
            return {};
        }
        const std::size_t secondDot = text.find('.', firstDot + 1);
        if (secondDot == std::string_view::npos || text.find('.', secondDot + 1) != std::string_view::npos) {
            return {};
        }
        SemanticVersion version;
        version.major = parseComponent(text.substr(0, firstDot));
        version.minor = parseComponent(text.substr(firstDot + 1, secondDot - firstDot - 1));
        version.patch = parseComponent(text.substr(secondDot + 1));
        version.valid = true;
        return version;
    } catch (const std::invalid_argument&) {
        return {};
    }
}

std::strong_ordering compareSemanticVersions(const SemanticVersion& left,
                                             const SemanticVersion& right) noexcept {
    if (const auto order = left.major <=> right.major; order != 0) {
        return order;
    }
    if (const auto order = left.minor <=> right.minor; order != 0) {
        return order;
    }
    return left.patch <=> right.patch;
}

} // namespace ardenwick
