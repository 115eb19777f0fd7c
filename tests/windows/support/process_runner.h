#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace ardenwick::testing {

/// The directory of the running test executable; the programs under test are built next to it.
[[nodiscard]] std::filesystem::path executableDirectory();

/// Starts `program` with `arguments` (already quoted as one command-line tail) and waits up to
/// `timeoutMs`. Returns the exit code, or nothing if it did not end in time (it is then terminated).
[[nodiscard]] std::optional<std::uint32_t> runAndWait(const std::filesystem::path& program,
                                                      const std::wstring& arguments, std::uint32_t timeoutMs);

/// Starts `program` and waits up to `timeoutMs` for a visible top-level window of `windowClass` owned by
/// it; the process is then terminated. Returns whether the window appeared (the program got past its
/// start-up) and, when the process ended first, its exit code.
struct WindowProbe {
    bool windowShown = false;
    std::optional<std::uint32_t> exitCode;
};
[[nodiscard]] WindowProbe runUntilWindow(const std::filesystem::path& program, const std::wstring& arguments,
                                         const wchar_t* windowClass, std::uint32_t timeoutMs);

/// Quotes one argument by the rules CommandLineToArgvW reverses.
[[nodiscard]] std::wstring quoteArgument(const std::wstring& argument);

} // namespace ardenwick::testing
