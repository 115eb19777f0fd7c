#include "maintenance/update_feed.h"

#include "common/semantic_version.h"
#include "maintenance/json_number.h"
#include "maintenance/json_string_field.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <stdexcept>

namespace ardenwick {
namespace {

constexpr std::uint64_t maximumPayloadSize = 2'147'483'648ULL;
constexpr std::size_t maximumUrlLength = 2048;

bool isValidHost(std::string_view host) noexcept {
    if (host.empty() || host.find('.') == std::string_view::npos ||
        host.find("..") != std::string_view::npos) {
        return false;
    }
    const auto isEdge = [](char c) { return c == '.' || c == '-'; };
    if (isEdge(host.front()) || isEdge(host.back())) {
        return false;
    }
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '.';
    });
}

bool isLowerHexDigest(std::string_view digest) noexcept {
    return digest.size() == 64 && std::all_of(digest.begin(), digest.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

} // namespace

std::string expectedReleasePath(std::string_view architecture, std::string_view version) {
    std::string path = "/windows/";
    path.append(architecture).append("/").append(version).append("/Ardenwick-").append(version);
    path.append("-windows-").append(architecture).append(".zip");
    return path;
}

bool isValidReleaseUrl(std::string_view url, std::string_view expectedPath) noexcept {
    constexpr std::string_view scheme = "https://";
    if (url.size() > maximumUrlLength || !url.starts_with(scheme)) {
        return false;
    }
    const std::size_t pathStart = url.find('/', scheme.size());
    if (pathStart == std::string_view::npos) {
        return false;
    }
    return isValidHost(url.substr(scheme.size(), pathStart - scheme.size())) &&
           url.substr(pathStart) == expectedPath;
}

UpdateFeed parseUpdateFeed(std::string_view text, std::string_view expectedEnvironment,
                           std::string_view expectedArchitecture) {
    const nlohmann::json document = nlohmann::json::parse(text);
    if (!document.is_object()) {
        throw std::runtime_error("Unsupported update feed schema");
    }
    const auto schema = document.find("schemaVersion");
    if ((schema == document.end() ? std::optional<std::uint64_t>(0) : unsignedNumber(*schema)) != 2U) {
        throw std::runtime_error("Unsupported update feed schema");
    }

    UpdateFeed feed;
    feed.environment = requireStringField(document, "environment");
    feed.architecture = requireStringField(document, "architecture");
    if (feed.environment != expectedEnvironment || feed.architecture != expectedArchitecture ||
        (feed.environment != "dev" && feed.environment != "prod")) {
        throw std::runtime_error("Update feed scope does not match this Launcher");
    }

    const auto releases = document.find("releases");
    if (releases == document.end() || !releases->is_array()) {
        throw std::runtime_error("Update feed releases are missing");
    }

    std::set<std::string> versions;
    for (const nlohmann::json& element : *releases) {
        if (!element.is_object()) {
            throw std::runtime_error("Update feed contains an invalid release");
        }
        const nlohmann::json& payload = element.at("payload");
        if (!payload.is_object()) {
            throw std::runtime_error("Update feed contains an invalid payload");
        }

        UpdateRelease release;
        release.architecture = feed.architecture;
        release.releaseChannel = requireStringField(element, "releaseChannel");
        release.version = requireStringField(element, "version");
        release.minimumLauncherVersion = requireStringField(element, "minimumLauncherVersion");
        release.publishedAtUtc = requireStringField(element, "publishedAtUtc");
        release.url = requireStringField(payload, "url");
        // A size beyond 64 bits becomes 0, which the size rule rejects.
        release.size = unsignedNumber(payload.at("size")).value_or(0);
        release.sha256 = requireStringField(payload, "sha256");

        const bool valid =
            (release.releaseChannel == "stable" || release.releaseChannel == "beta") &&
            parseSemanticVersion(release.version).valid &&
            parseSemanticVersion(release.minimumLauncherVersion).valid && release.size >= 1 &&
            release.size <= maximumPayloadSize && isLowerHexDigest(release.sha256) &&
            isValidReleaseUrl(release.url, expectedReleasePath(feed.architecture, release.version)) &&
            !versions.contains(release.version);
        if (!valid) {
            throw std::runtime_error("Update feed contains invalid values");
        }
        versions.insert(release.version);
        feed.releases.push_back(std::move(release));
    }
    return feed;
}

} // namespace ardenwick
