#pragma once

#include "common/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace ardenwick::testing {

/// The directory of the running test executable; the programs under test are built next to it.
[[nodiscard]] std::filesystem::path executableDirectory();

/// Starts `program` with `arguments` (already quoted as one command-line tail). Returns the process and
/// its id, or a null handle when it could not be started.
struct StartedProcess {
    UniqueKernelHandle process;
    DWORD processId = 0;
};
[[nodiscard]] StartedProcess startProgram(const std::filesystem::path& program,
                                          const std::wstring& arguments);

/// Starts `program` with `arguments` (already quoted as one command-line tail) and waits up to
/// `timeoutMs`. Returns the exit code, or nothing if it did not end in time (it is then terminated).
[[nodiscard]] std::optional<std::uint32_t> runAndWait(const std::filesystem::path& program,
                                                      const std::wstring& arguments, std::uint32_t timeoutMs);

/// Quotes one argument by the rules CommandLineToArgvW reverses.
[[nodiscard]] std::wstring quoteArgument(const std::wstring& argument);

} // namespace ardenwick::testing
