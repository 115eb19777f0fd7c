#pragma once

#include <windows.h>

namespace ardenwick {

/// Everything between the process entry and its exit code; never throws.
[[nodiscard]] int runProgram(HINSTANCE instance) noexcept;

} // namespace ardenwick
