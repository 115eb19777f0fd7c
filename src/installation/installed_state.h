#pragma once

#include "common/wide_path.h"

#include <string_view>

namespace ardenwick {

/// Whether the application at `applicationPath` (its launcher) is installed and runnable: the activation
/// state names a version (equal to `requiredVersion` unless that is empty) whose executable exists, and
/// the launcher and that executable are genuine. Never throws; any error answers false.
[[nodiscard]] bool validateInstalledState(const WidePath& applicationPath,
                                          std::string_view requiredVersion) noexcept;

} // namespace ardenwick
