#pragma once

#include <cstdint>

namespace ardenwick {

/// IMAGE_FILE_MACHINE_* values, as IsWow64Process2 reports the native machine.
inline constexpr std::uint16_t MachineUnknown = 0x0000;
inline constexpr std::uint16_t MachineI386 = 0x014C;
inline constexpr std::uint16_t MachineArmNt = 0x01C4;
inline constexpr std::uint16_t MachineIa64 = 0x0200;
inline constexpr std::uint16_t MachineAmd64 = 0x8664;
inline constexpr std::uint16_t MachineArm64 = 0xAA64;

/// The program and the application it installs are built for x64 processors only; an x64 process
/// emulated on ARM64 is not enough.
[[nodiscard]] bool isSupportedNativeMachine(std::uint16_t nativeMachine) noexcept;

/// The machine value of a PROCESSOR_ARCHITECTURE_* value from GetNativeSystemInfo, for systems
/// without IsWow64Process2; MachineUnknown for anything else.
[[nodiscard]] std::uint16_t machineOfProcessorArchitecture(std::uint16_t processorArchitecture) noexcept;

} // namespace ardenwick
