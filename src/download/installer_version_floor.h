#pragma once

#include <string_view>

namespace ardenwick {

/// True only when both texts are MAJOR.MINOR.PATCH version text and `productVersion` is not lower than
/// `floor`, compared numerically component by component, major first. Anything that cannot be compared
/// is below the floor: the check exists to refuse old installers, so it never passes by default.
[[nodiscard]] bool meetsInstallerVersionFloor(std::string_view productVersion,
                                              std::string_view floor) noexcept;

} // namespace ardenwick
