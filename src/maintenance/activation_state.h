#pragma once

#include "common/wide_path.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ardenwick {

/// The launcher's "activation.json", always in its schema-2 form.
struct ActivationState {
    int schemaVersion = 2;
    std::string activeVersion;
    std::optional<std::string> lastKnownGoodVersion;
    std::optional<std::string> pendingVersion;
    std::optional<std::string> pendingReleaseChannel;
    std::optional<std::string> candidateVersion;
    std::vector<std::string> badVersions;
};

/// Largest activation file that is read.
inline constexpr std::size_t maximumActivationStateBytes = 65536;

/// Parses and validates the document; schema 1 is accepted and converted (its pending fields are
/// dropped). Throws std::runtime_error("Activation state is invalid"), a required-field error or a JSON
/// library error.
[[nodiscard]] ActivationState parseActivationState(std::string_view text);

/// Reads at most 65536 bytes of the file and parses them. A file that cannot be opened throws
/// "Activation state is unavailable"; a larger file is invalid.
[[nodiscard]] ActivationState readActivationState(const WidePath& path);

} // namespace ardenwick
