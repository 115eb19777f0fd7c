#pragma once

#include <string>
#include <string_view>

namespace ardenwick {

/// The stage an attempt is in; it decides how a failure is reported.
enum class AttemptPhase { Preparation = 0, Download = 1, Verification = 2, Process = 3 };

/// The status operation of a failed attempt: "unsupported_architecture" for exactly that error, else by
/// phase "installation_failed", "download_failed", "verification_failed" or "installation_failed".
[[nodiscard]] std::string attemptFailureKind(std::string_view errorMessage, AttemptPhase phase);

/// "preparation", "download", "verification" or "process".
[[nodiscard]] std::string attemptStageName(AttemptPhase phase);

/// The result event of the phase: "bootstrapper_preparation_result", "installer_download_result",
/// "installer_verification_result" or "installer_process_result".
[[nodiscard]] std::string attemptResultEventName(AttemptPhase phase);

} // namespace ardenwick
