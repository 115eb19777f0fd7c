#pragma once

#include <cstdint>
#include <string>

namespace ardenwick {

/// The states the window shows, in the order of their numeric values. Values at or above `Ready` are
/// final for an attempt.
enum class InstallationKind : std::int32_t {
    Preparing = 0,
    Downloading = 1,
    Verifying = 2,
    Installing = 3,
    Launching = 4,
    Ready = 5,
    InstallationFailed = 6,
    InstallationCancelled = 7,
    ResultUnknown = 8,
    AlreadyInstalled = 9,
    LaunchFailed = 10,
    UpdateFailed = 11,
};

/// The one record the worker publishes and the window polls.
struct InstallationStatus {
    InstallationKind kind = InstallationKind::Preparing;
    std::uint64_t doneBytes = 0;
    std::uint64_t totalBytes = 0;
    std::string operation;
    bool finished = false;
    bool updating = false;
    std::uint32_t applicationProcessId = 0;

    friend bool operator==(const InstallationStatus&, const InstallationStatus&) = default;
};

/// A status of `kind` with every other field zero or empty, but the failure kind text.
[[nodiscard]] inline InstallationStatus statusOf(InstallationKind kind, std::string operation = {}) {
    InstallationStatus status;
    status.kind = kind;
    status.operation = std::move(operation);
    return status;
}

/// Kinds whose publication writes the failure record.
[[nodiscard]] constexpr bool isFailureKind(InstallationKind kind) noexcept {
    return kind == InstallationKind::InstallationFailed || kind == InstallationKind::ResultUnknown ||
           kind == InstallationKind::LaunchFailed || kind == InstallationKind::UpdateFailed;
}

} // namespace ardenwick
