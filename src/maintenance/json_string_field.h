#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace ardenwick {

/// A required string member of the launcher's documents: throws std::runtime_error
/// "Missing string field: <key>" when `object` is no object, lacks the key or holds another type, and
/// "Empty string field: <key>" for an empty string.
[[nodiscard]] std::string requireStringField(const nlohmann::json& object, const std::string& key);

} // namespace ardenwick
