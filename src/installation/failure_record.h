#pragma once

#include "common/wide_path.h"
#include "installation/installation_status.h"

#include <string>
#include <string_view>

namespace ardenwick {

inline constexpr wchar_t FailureRecordFileName[] = L"last-failure.json";
inline constexpr wchar_t FailureRecordTemporaryFileName[] = L"last-failure.json.new";
inline constexpr std::uintmax_t MaxFailureRecordBytes = 4096;

/// The compact JSON text of the record written when `kind` is published.
[[nodiscard]] std::string failureRecordText(InstallationKind kind);

/// How a saved record is to be presented at start-up.
enum class SavedFailureReading {
    Ignore,                  ///< not JSON, or not schema 1: the window starts normally
    FailureWithoutFlag,      ///< schema 1 but "launchFailed" is not a boolean: shown, yet not kept
    InstallationFailed,      ///< schema 1, "launchFailed" false or missing
    LaunchFailedIfInstalled, ///< schema 1, "launchFailed" true
};

/// Interprets the bytes of a saved failure record (the caller has already bounded the size).
[[nodiscard]] SavedFailureReading readSavedFailure(std::string_view text) noexcept;

} // namespace ardenwick
