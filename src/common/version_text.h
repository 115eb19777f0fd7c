#pragma once

#include <string_view>

namespace ardenwick {

/// MAJOR.MINOR.PATCH, each component "0" or 1 to 9 digits without a leading zero, nothing else.
[[nodiscard]] bool isVersionText(std::string_view text);

} // namespace ardenwick
