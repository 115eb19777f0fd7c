// Feeds arbitrary bytes to the activation state parser; a state that parses must satisfy its rules.
#include "common/semantic_version.h"
#include "maintenance/activation_state.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool semantic(const std::string& text) {
    return ardenwick::parseSemanticVersion(text).valid;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const ardenwick::ActivationState state = ardenwick::parseActivationState(text);
        check(state.schemaVersion == 2);
        check(semantic(state.activeVersion));
        check(!state.lastKnownGoodVersion || semantic(*state.lastKnownGoodVersion));
        check(state.pendingVersion.has_value() == state.pendingReleaseChannel.has_value());
        check(!state.pendingVersion || semantic(*state.pendingVersion));
        check(!state.pendingReleaseChannel || *state.pendingReleaseChannel == "stable" ||
              *state.pendingReleaseChannel == "beta");
        check(!state.candidateVersion || *state.candidateVersion == state.activeVersion);
        for (const std::string& bad : state.badVersions) {
            check(semantic(bad));
        }
    } catch (const nlohmann::json::exception&) {
        // Malformed JSON or a mistyped member.
    } catch (const std::runtime_error&) {
        // "Activation state is invalid" or a required-field message.
    }
    return 0;
}
