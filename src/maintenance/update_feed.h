#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ardenwick {

struct UpdateRelease {
    std::string releaseChannel;
    std::string architecture;
    std::string version;
    std::string minimumLauncherVersion;
    std::string publishedAtUtc;
    std::string url;
    std::uint64_t size = 0;
    std::string sha256;
};

struct UpdateFeed {
    int schemaVersion = 2;
    std::string environment;
    std::string architecture;
    std::vector<UpdateRelease> releases;
};

/// Parses and validates an update feed for one environment and architecture. Every broken rule throws
/// (std::runtime_error with the feed's messages, or a JSON library error); nothing is returned then.
[[nodiscard]] UpdateFeed parseUpdateFeed(std::string_view text, std::string_view expectedEnvironment,
                                         std::string_view expectedArchitecture);

/// "/windows/<arch>/<version>/Ardenwick-<version>-windows-<arch>.zip"
[[nodiscard]] std::string expectedReleasePath(std::string_view architecture, std::string_view version);

/// An https URL of at most 2048 characters with a plain dotted host name and exactly `expectedPath`
/// after it: no port, user information, query or fragment.
[[nodiscard]] bool isValidReleaseUrl(std::string_view url, std::string_view expectedPath) noexcept;

} // namespace ardenwick
