// Feeds arbitrary bytes to the parsers of untrusted metadata: the Zone.Identifier stream, a download
// link, percent-decoding, the analytics host URL and the install context JSON. Whatever they return must
// satisfy the rules the rest of the program relies on.
#include "telemetry/batch_endpoint.h"
#include "telemetry/install_context.h"
#include "telemetry/web_attribution.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

const std::string Expected = "https://downloads.ardenwick.app/windows-installer-prod-x64/Ardenwick-Setup.exe";

void checkAttribution(const ardenwick::EventProperties& properties) {
    for (const auto& [key, value] : properties) {
        const auto* text = std::get_if<std::string>(&value);
        if (text == nullptr || !ardenwick::isWebAttributionKey(key) ||
            !ardenwick::isValidWebAttributionValue(key, *text)) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkAttribution(ardenwick::parseZoneIdentifier(input, Expected));
    checkAttribution(ardenwick::parseWebAttributionUrl(input, Expected));
    // Links that start right, so the query walk is reached often.
    checkAttribution(ardenwick::parseWebAttributionUrl(Expected + "?" + std::string(input), Expected));
    const std::string decoded = ardenwick::percentDecode(input);
    if (decoded.size() > input.size()) {
        __builtin_trap();
    }
    const auto endpoint = ardenwick::parseBatchEndpoint(input);
    if (endpoint.valid && (endpoint.host.empty() || endpoint.path.size() < 7 ||
                           endpoint.path.substr(endpoint.path.size() - 7) != L"/batch/")) {
        __builtin_trap();
    }
    // The install context the launcher hands over: whatever survives must be valid run context.
    const auto context = ardenwick::parseInstallContext(input, std::string("7"), std::string("job"));
    for (const auto& [key, value] : context) {
        const auto* text = std::get_if<std::string>(&value);
        if (text == nullptr || text->empty() || text->size() > 200) {
            __builtin_trap();
        }
    }
    return 0;
}
