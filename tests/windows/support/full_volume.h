#pragma once

// Small volumes without room, mounted for a test by with_full_volume.py, and an outbox on them as a
// process of the product that died while writing it leaves it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace ardenwick::testing {

/// The 1 MiB volume mounted for the test, or nothing when with_full_volume.py could not mount one.
[[nodiscard]] std::optional<std::filesystem::path> fullVolume();

/// Mounts a 1 MiB volume over folder (which must exist); empty, or why it could not.
[[nodiscard]] std::string mountVolumeOver(const std::filesystem::path& folder);
/// Unmounts the volume that mountVolumeOver put over folder; false when it could not.
bool unmountVolume(const std::filesystem::path& folder);

/// The reason a test without a volume gives: a skip on Windows, a failure under Wine.
inline constexpr const char* NoVolumeSkip =
    "Wine only: the full volume is a tmpfs that with_full_volume.py mounts as root";

/// Fills the volume with filler until two pages are left: "df" shows it full (100 %), and it has less
/// room than a 32 KiB WAL index needs. Returns the room left, as GetDiskFreeSpaceExW sees it.
[[nodiscard]] std::uint64_t fillLeavingTwoPages(const std::filesystem::path& filler);

/// What the outbox holds after a client (telemetry_exit_helper.exe) died with its event in the WAL and
/// right after it emptied the "-shm": three rows of its own plus the client's; false when it did not
/// get there.
[[nodiscard]] bool leaveOutboxOfDeadClient(const std::filesystem::path& outbox);

/// The rows the outbox holds; -1 when it cannot be read.
[[nodiscard]] int outboxRows(const std::filesystem::path& outbox);

} // namespace ardenwick::testing
