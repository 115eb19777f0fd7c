#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ardenwick {

inline constexpr std::string_view RuntimeJobPrefix = "Local\\Ardenwick.Runtime.";
inline constexpr std::uintmax_t MaxRecoveryStateBytes = 65536;

/// "protocolVersion" of launcher-version.json (0 when absent). Throws on malformed JSON or a value that is
/// not an unsigned integer.
[[nodiscard]] std::uint64_t parseLauncherProtocolVersion(std::string_view text);

/// What the application's recovery.json must say for the job-object proof.
struct RecoveryState {
    std::string runId;
    std::optional<std::uint64_t> applicationPid;
};

/// The run state when it says the application is ready ("applicationReady" true, "intent" "running",
/// "runId" a string starting with the runtime job prefix); nothing otherwise. Throws on malformed JSON.
[[nodiscard]] std::optional<RecoveryState> parseReadyRecoveryState(std::string_view text);

/// The job object's name: each byte of the run id widened to one UTF-16 unit with sign extension, as the
/// application names it (a byte of 0x80 or above becomes 0xFF80 to 0xFFFF).
[[nodiscard]] std::u16string runtimeJobName(std::string_view runId);

} // namespace ardenwick
