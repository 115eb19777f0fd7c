#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace ardenwick {

/// The variable's value, or the default when it is unset, unreadable or empty.
[[nodiscard]] std::string readEnvironmentText(const char* name, const std::string& fallback);

/// "1", "true", "yes", "on" give true; "0", "false", "no", "off" give false (any letter case); any
/// other text, and no text, give the default.
[[nodiscard]] bool readEnvironmentFlag(const char* name, bool fallback);

/// The variable's narrow value when it fits a buffer of bufferSize bytes with its terminator; nothing
/// when it is unset or longer.
[[nodiscard]] std::optional<std::string> readBoundedEnvironment(const char* name, std::size_t bufferSize);

} // namespace ardenwick
