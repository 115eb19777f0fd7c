#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>

namespace ardenwick::testing {

/// Stages an update package of `payloadBytes` bytes for version 2.4.0 of the stand-ins under `root` and
/// returns the launcher's hand-off document (a "prod" x64 feed with that one release), not yet written.
[[nodiscard]] nlohmann::json stageStandInUpdate(const std::filesystem::path& root, std::size_t payloadBytes);

} // namespace ardenwick::testing
