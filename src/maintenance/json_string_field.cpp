#include "maintenance/json_string_field.h"

#include <stdexcept>

namespace ardenwick {

std::string requireStringField(const nlohmann::json& object, const std::string& key) {
    if (!object.is_object()) {
        throw std::runtime_error("Missing string field: " + key);
    }
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        throw std::runtime_error("Missing string field: " + key);
    }
    std::string value = found->get<std::string>();
    if (value.empty()) {
        throw std::runtime_error("Empty string field: " + key);
    }
    return value;
}

} // namespace ardenwick
