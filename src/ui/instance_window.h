#pragma once

#include <windows.h>

#include <cstdint>

namespace ardenwick {

/// Labels the installer window with the instance key, so a second instance can find it.
bool markInstanceWindow(HWND window, std::uint64_t instanceKey) noexcept;

} // namespace ardenwick
