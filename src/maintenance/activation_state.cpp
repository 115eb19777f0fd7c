#include "maintenance/activation_state.h"

#include "common/file_system.h"

#include "common/semantic_version.h"
#include "maintenance/json_number.h"
#include "maintenance/json_string_field.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>

namespace ardenwick {
namespace {

// Absent or null is no value; any other non-string raises the library's type error.
std::optional<std::string> optionalString(const nlohmann::json& document, const char* key) {
    const auto found = document.find(key);
    if (found == document.end() || found->is_null()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

bool isSemantic(const std::string& text) noexcept {
    return parseSemanticVersion(text).valid;
}

bool isReleaseChannel(const std::string& channel) noexcept {
    return channel == "stable" || channel == "beta";
}

[[noreturn]] void invalid() {
    throw std::runtime_error("Activation state is invalid");
}

} // namespace

ActivationState parseActivationState(std::string_view text) {
    const nlohmann::json document = nlohmann::json::parse(text);

    // A document that is no object has no schema (0) and no "activeVersion": the field error says so.
    // A schema number out of range is no schema (0), and so invalid.
    std::uint64_t schemaVersion = 0;
    if (document.is_object()) {
        if (const auto schema = document.find("schemaVersion"); schema != document.end()) {
            schemaVersion = unsignedNumber(*schema).value_or(0);
        }
    }
    ActivationState state;
    state.activeVersion = requireStringField(document, "activeVersion");
    state.lastKnownGoodVersion = optionalString(document, "lastKnownGoodVersion");
    state.pendingVersion = optionalString(document, "pendingVersion");
    state.pendingReleaseChannel = optionalString(document, "pendingReleaseChannel");
    state.candidateVersion = optionalString(document, "candidateVersion");
    if (const auto bad = document.find("badVersions"); bad != document.end()) {
        state.badVersions = bad->get<std::vector<std::string>>();
    }

    if (schemaVersion != 1 && schemaVersion != 2) {
        invalid();
    }
    if (!isSemantic(state.activeVersion)) {
        invalid();
    }
    if (state.lastKnownGoodVersion && !isSemantic(*state.lastKnownGoodVersion)) {
        invalid();
    }
    if (state.pendingVersion && !isSemantic(*state.pendingVersion)) {
        invalid();
    }
    if (state.candidateVersion &&
        (!isSemantic(*state.candidateVersion) || *state.candidateVersion != state.activeVersion)) {
        invalid();
    }
    if (schemaVersion == 2) {
        if (state.pendingVersion.has_value() != state.pendingReleaseChannel.has_value()) {
            invalid();
        }
        if (state.pendingReleaseChannel && !isReleaseChannel(*state.pendingReleaseChannel)) {
            invalid();
        }
    }
    if (!std::all_of(state.badVersions.begin(), state.badVersions.end(), isSemantic)) {
        invalid();
    }

    if (schemaVersion == 1) {
        // Schema 1 had no channel for its pending version; the launcher of schema 2 re-stages it.
        state.pendingVersion.reset();
        state.pendingReleaseChannel.reset();
    }
    state.schemaVersion = 2;
    return state;
}

ActivationState readActivationState(const WidePath& path) {
    const FileBytes file = readFileBounded(path, maximumActivationStateBytes);
    if (file.tooLarge) {
        throw std::runtime_error("Activation state is invalid");
    }
    if (!file.ok()) {
        throw std::runtime_error("Activation state is unavailable");
    }
    return parseActivationState(file.bytes);
}

} // namespace ardenwick
