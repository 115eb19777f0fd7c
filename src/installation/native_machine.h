#pragma once

#include <cstdint>

namespace ardenwick {

/// The machine the system runs on natively (an IMAGE_FILE_MACHINE_* value), also when this process is
/// emulated: IsWow64Process2 where the system has it, otherwise GetNativeSystemInfo.
[[nodiscard]] std::uint16_t nativeMachine() noexcept;

} // namespace ardenwick
