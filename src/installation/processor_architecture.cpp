#include "installation/processor_architecture.h"

namespace ardenwick {

bool isSupportedNativeMachine(std::uint16_t nativeMachine) noexcept {
    return nativeMachine == MachineAmd64;
}

std::uint16_t machineOfProcessorArchitecture(std::uint16_t processorArchitecture) noexcept {
    // PROCESSOR_ARCHITECTURE_INTEL, _ARM, _IA64, _AMD64 and _ARM64.
    switch (processorArchitecture) {
    case 0:
        return MachineI386;
    case 5:
        return MachineArmNt;
    case 6:
        return MachineIa64;
    case 9:
        return MachineAmd64;
    case 12:
        return MachineArm64;
    default:
        return MachineUnknown;
    }
}

} // namespace ardenwick
