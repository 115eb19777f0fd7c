#include "installation/native_machine.h"

#include "installation/processor_architecture.h"

#include <windows.h>

namespace ardenwick {

std::uint16_t nativeMachine() noexcept {
    // Looked up at run time: older systems lack it. GetNativeSystemInfo alone answers AMD64 for an x64
    // process emulated on ARM64.
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    if (HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll")) {
        const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Function>(
            reinterpret_cast<void*>(GetProcAddress(kernel32, "IsWow64Process2")));
        USHORT processMachine = 0;
        USHORT native = 0;
        if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &processMachine, &native)) {
            return native;
        }
    }
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    return machineOfProcessorArchitecture(system.wProcessorArchitecture);
}

} // namespace ardenwick
