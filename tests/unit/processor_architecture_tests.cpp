#include "installation/processor_architecture.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

TEST(ProcessorArchitecture, OnlyANativeX64MachineIsSupported) {
    EXPECT_TRUE(isSupportedNativeMachine(0x8664));
    // ARM64 runs this x64 program emulated, yet it is not supported; neither are the others.
    for (const std::uint16_t machine : {0xAA64, 0x014C, 0x01C4, 0x0200, 0x0000, 0x8664 + 1}) {
        EXPECT_FALSE(isSupportedNativeMachine(static_cast<std::uint16_t>(machine))) << std::hex << machine;
    }
}

TEST(ProcessorArchitecture, GetNativeSystemInfoValuesMapToTheirMachines) {
    EXPECT_EQ(machineOfProcessorArchitecture(9), 0x8664);  // AMD64
    EXPECT_EQ(machineOfProcessorArchitecture(12), 0xAA64); // ARM64
    EXPECT_EQ(machineOfProcessorArchitecture(0), 0x014C);  // Intel
    EXPECT_EQ(machineOfProcessorArchitecture(5), 0x01C4);  // ARM
    EXPECT_EQ(machineOfProcessorArchitecture(6), 0x0200);  // IA-64
    EXPECT_EQ(machineOfProcessorArchitecture(0xFFFF), 0x0000);
    EXPECT_FALSE(isSupportedNativeMachine(machineOfProcessorArchitecture(12)));
    EXPECT_TRUE(isSupportedNativeMachine(machineOfProcessorArchitecture(9)));
}

} // namespace
} // namespace ardenwick
