#pragma once

#include <windows.h>

#include <string>

namespace ardenwick::testing {

/// Under Wine, the call stack of every thread of `processId` as winedbg prints it, for the message of a
/// test that found a program still running where it should have moved on: it says where the program
/// waits. Frames in the program itself read "in ardenwick-setup (+offset)", an offset from its image base
/// 0x140000000: the linker map of the same commit's build (build/windows/src/ardenwick_setup.map; the
/// build is reproducible) names the function. Empty on Windows, or when winedbg says nothing in a minute.
[[nodiscard]] std::string threadStacksText(DWORD processId);

} // namespace ardenwick::testing
