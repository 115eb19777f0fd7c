#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace ardenwick {

/// One analytics property value. The order of the alternatives is part of the contract: the event
/// catalogue's type rules name them by index (0 boolean, 1 integer, 2 double, 3 string, 4 list of
/// strings, 5 map of strings). All text is UTF-8.
using PropertyValue = std::variant<bool, std::int64_t, double, std::string, std::vector<std::string>,
                                   std::map<std::string, std::string>>;

/// Properties of one event by name. std::less<std::string> compares through char_traits<char>, which
/// orders as unsigned bytes, so iteration is the byte-wise order the batch writer relies on.
using EventProperties = std::map<std::string, PropertyValue>;

} // namespace ardenwick
