#pragma once

#include <string>

namespace ardenwick {

/// "x86", "x64", "arm64" or "unknown" from the native system information.
[[nodiscard]] std::string nativeArchitecture();

/// "major.minor.build" from RtlGetVersion, or "unknown" when it is missing or fails.
[[nodiscard]] std::string osVersionText();

} // namespace ardenwick
