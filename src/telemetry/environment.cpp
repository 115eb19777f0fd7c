#include "telemetry/environment.h"

#include <algorithm>
#include <cstdlib>

namespace ardenwick {

namespace {

std::optional<std::string> environmentValue(const char* name) {
    // Copied at once: no pointer into the environment block is kept.
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace

std::string readEnvironmentText(const char* name, const std::string& fallback) {
    auto value = environmentValue(name);
    if (!value || value->empty()) {
        return fallback;
    }
    return std::move(*value);
}

bool readEnvironmentFlag(const char* name, bool fallback) {
    std::string text = readEnvironmentText(name, fallback ? "true" : "false");
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (text == "1" || text == "true" || text == "yes" || text == "on") {
        return true;
    }
    if (text == "0" || text == "false" || text == "no" || text == "off") {
        return false;
    }
    return fallback;
}

std::optional<std::string> readBoundedEnvironment(const char* name, std::size_t bufferSize) {
    auto value = environmentValue(name);
    if (!value || value->size() + 1 > bufferSize) {
        return std::nullopt;
    }
    return value;
}

} // namespace ardenwick
