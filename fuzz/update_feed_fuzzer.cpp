// Feeds arbitrary bytes to the update feed parser. The first byte picks the expected scope; a feed that
// parses must satisfy every rule of a release.
#include "common/semantic_version.h"
#include "maintenance/update_feed.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static constexpr const char* environments[] = {"prod", "dev", "staging", ""};
    static constexpr const char* architectures[] = {"x64", "arm64"};
    const char* environment = environments[data[0] & 3];
    const char* architecture = architectures[(data[0] >> 2) & 1];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const ardenwick::UpdateFeed feed = ardenwick::parseUpdateFeed(text, environment, architecture);
        check(feed.schemaVersion == 2 && feed.environment == environment &&
              feed.architecture == architecture);
        check(feed.environment == "prod" || feed.environment == "dev");
        std::set<std::string> versions;
        for (const ardenwick::UpdateRelease& release : feed.releases) {
            check(release.architecture == architecture);
            check(release.releaseChannel == "stable" || release.releaseChannel == "beta");
            check(ardenwick::parseSemanticVersion(release.version).valid);
            check(ardenwick::parseSemanticVersion(release.minimumLauncherVersion).valid);
            check(!release.publishedAtUtc.empty());
            check(release.size >= 1 && release.size <= 2147483648ULL);
            check(release.sha256.size() == 64);
            check(release.url.size() <= 2048 && release.url.starts_with("https://"));
            check(release.url.ends_with(ardenwick::expectedReleasePath(architecture, release.version)));
            check(versions.insert(release.version).second);
        }
    } catch (const nlohmann::json::exception&) {
        // Malformed JSON, a missing payload or size, or a mistyped size.
    } catch (const std::runtime_error&) {
        // One of the feed's own messages.
    }
    return 0;
}
