#include "telemetry/environment.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace ardenwick {

namespace {

std::optional<std::string> environmentValue(const char* name) {
#ifdef _WIN32
    // The copying read: the CRT allocates the value, so no pointer into the environment is kept.
    char* raw = nullptr;
    std::size_t length = 0;
    if (_dupenv_s(&raw, &length, name) != 0 || raw == nullptr) {
        std::free(raw);
        return std::nullopt;
    }
    const std::unique_ptr<char, decltype(&std::free)> owner(raw, &std::free);
    return std::string(raw);
#else
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
#endif
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
