#pragma once

#include <windows.h>

#include <string>

namespace ardenwick::testing {

/// Under Wine, the call stack of every thread of `processId` as winedbg prints it, for the message of a
/// test that found a program still running where it should have moved on: it says where the program
/// waits. Frames in the program itself read "in ardenwick-setup (+offset)", offsets from its image base.
/// Empty on Windows, or when winedbg says nothing within a minute.
[[nodiscard]] std::string threadStacksText(DWORD processId);

} // namespace ardenwick::testing
