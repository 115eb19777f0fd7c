#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace ardenwick {

/// One typed event property. The order of the alternatives is part of the contract: the type rules and
/// the batch writer name them by index (0 boolean, 1 integer, 2 double, 3 string, 4 string list,
/// 5 string map).
using PropertyValue = std::variant<bool, std::int64_t, double, std::string, std::vector<std::string>,
                                   std::map<std::string, std::string>>;

/// Property name (UTF-8) to value, ordered byte-wise by name: std::char_traits<char> compares as
/// unsigned char, which is the order the batch body is written in.
using EventProperties = std::map<std::string, PropertyValue>;

} // namespace ardenwick
