#include "maintenance/update_feed.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

using nlohmann::json;

const std::string digest(64, 'a');

json release(const std::string& version = "1.2.3") {
    return json{{"releaseChannel", "stable"},
                {"version", version},
                {"minimumLauncherVersion", "1.0.0"},
                {"publishedAtUtc", "2026-11-30T12:00:00Z"},
                {"payload",
                 {{"url", "https://downloads.ardenwick.app/windows/x64/" + version + "/Ardenwick-" + version +
                              "-windows-x64.zip"},
                  {"size", 1234},
                  {"sha256", digest}}}};
}

json feed() {
    return json{
        {"schemaVersion", 2}, {"environment", "prod"}, {"architecture", "x64"}, {"releases", {release()}}};
}

std::string messageOf(const json& document, const char* environment = "prod",
                      const char* architecture = "x64") {
    try {
        static_cast<void>(parseUpdateFeed(document.dump(), environment, architecture));
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

std::string releaseMessage(const std::function<void(json&)>& change) {
    json document = feed();
    change(document["releases"][0]);
    return messageOf(document);
}

TEST(UpdateFeed, ParsesEveryFieldInDocumentOrder) {
    json document = feed();
    json second = release("1.10.0");
    second["releaseChannel"] = "beta";
    second["minimumLauncherVersion"] = "1.2.0";
    second["payload"]["size"] = 2147483648ULL;
    second["payload"]["sha256"] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    document["releases"].push_back(second);

    const UpdateFeed parsed = parseUpdateFeed(document.dump(), "prod", "x64");
    EXPECT_EQ(parsed.schemaVersion, 2);
    EXPECT_EQ(parsed.environment, "prod");
    EXPECT_EQ(parsed.architecture, "x64");
    ASSERT_EQ(parsed.releases.size(), 2U);
    const UpdateRelease& first = parsed.releases[0];
    EXPECT_EQ(first.releaseChannel, "stable");
    EXPECT_EQ(first.architecture, "x64");
    EXPECT_EQ(first.version, "1.2.3");
    EXPECT_EQ(first.minimumLauncherVersion, "1.0.0");
    EXPECT_EQ(first.publishedAtUtc, "2026-11-30T12:00:00Z");
    EXPECT_EQ(first.url, "https://downloads.ardenwick.app/windows/x64/1.2.3/Ardenwick-1.2.3-windows-x64.zip");
    EXPECT_EQ(first.size, 1234U);
    EXPECT_EQ(first.sha256, digest);
    EXPECT_EQ(parsed.releases[1].releaseChannel, "beta");
    EXPECT_EQ(parsed.releases[1].version, "1.10.0");
    EXPECT_EQ(parsed.releases[1].size, 2147483648ULL);

    json dev = feed();
    dev["environment"] = "dev";
    dev["architecture"] = "arm64";
    dev["releases"] = json::array();
    const UpdateFeed empty = parseUpdateFeed(dev.dump(), "dev", "arm64");
    EXPECT_TRUE(empty.releases.empty());
}

TEST(UpdateFeed, DocumentRules) {
    EXPECT_THROW(static_cast<void>(parseUpdateFeed("{", "prod", "x64")), json::parse_error);
    EXPECT_THROW(static_cast<void>(parseUpdateFeed("{} // comment", "prod", "x64")), json::parse_error);
    EXPECT_EQ(messageOf(json::array()), "Unsupported update feed schema");
    EXPECT_EQ(messageOf(json("feed")), "Unsupported update feed schema");
    // Out-of-range numbers neither wrap (2^32 + 2) nor convert undefined (1e300).
    for (const json& schema : {json(1), json(3), json(-2), json(4294967298ULL), json(1e300), json(-1e300)}) {
        json document = feed();
        document["schemaVersion"] = schema;
        EXPECT_EQ(messageOf(document), "Unsupported update feed schema") << schema;
    }
    json noSchema = feed();
    noSchema.erase("schemaVersion");
    EXPECT_EQ(messageOf(noSchema), "Unsupported update feed schema");
    json textSchema = feed();
    textSchema["schemaVersion"] = "2";
    EXPECT_THROW(static_cast<void>(parseUpdateFeed(textSchema.dump(), "prod", "x64")), json::type_error);
    // Schema first: a feed of the wrong schema is not asked for its scope.
    json wrongEverything = noSchema;
    wrongEverything.erase("environment");
    EXPECT_EQ(messageOf(wrongEverything), "Unsupported update feed schema");
}

TEST(UpdateFeed, ScopeRules) {
    json document = feed();
    document.erase("environment");
    EXPECT_EQ(messageOf(document), "Missing string field: environment");
    document["environment"] = 7;
    EXPECT_EQ(messageOf(document), "Missing string field: environment");
    document["environment"] = "";
    EXPECT_EQ(messageOf(document), "Empty string field: environment");
    document = feed();
    document["architecture"] = json();
    EXPECT_EQ(messageOf(document), "Missing string field: architecture");
    document["architecture"] = "";
    EXPECT_EQ(messageOf(document), "Empty string field: architecture");

    constexpr const char* scope = "Update feed scope does not match this Launcher";
    EXPECT_EQ(messageOf(feed(), "dev", "x64"), scope);
    EXPECT_EQ(messageOf(feed(), "prod", "arm64"), scope);
    EXPECT_EQ(messageOf(feed(), "Prod", "x64"), scope);
    EXPECT_EQ(messageOf(feed(), "prod", "X64"), scope);
    document = feed();
    document["environment"] = "staging";
    EXPECT_EQ(messageOf(document, "staging", "x64"), scope);
}

TEST(UpdateFeed, ReleaseListAndShapeRules) {
    json document = feed();
    document.erase("releases");
    EXPECT_EQ(messageOf(document), "Update feed releases are missing");
    document["releases"] = json::object();
    EXPECT_EQ(messageOf(document), "Update feed releases are missing");
    document["releases"] = json();
    EXPECT_EQ(messageOf(document), "Update feed releases are missing");

    document = feed();
    document["releases"].push_back("1.2.4");
    EXPECT_EQ(messageOf(document), "Update feed contains an invalid release");

    document = feed();
    document["releases"][0].erase("payload");
    EXPECT_THROW(static_cast<void>(parseUpdateFeed(document.dump(), "prod", "x64")), json::out_of_range);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"] = json::array(); }),
              "Update feed contains an invalid payload");
    // The payload's shape is checked before the release's fields are read.
    EXPECT_EQ(releaseMessage([](json& r) {
                  r["payload"] = "x";
                  r.erase("releaseChannel");
              }),
              "Update feed contains an invalid payload");
}

TEST(UpdateFeed, RequiredFieldsOfARelease) {
    for (const char* key : {"releaseChannel", "version", "minimumLauncherVersion", "publishedAtUtc"}) {
        EXPECT_EQ(releaseMessage([key](json& r) { r.erase(key); }),
                  std::string("Missing string field: ") + key);
        EXPECT_EQ(releaseMessage([key](json& r) { r[key] = true; }),
                  std::string("Missing string field: ") + key);
        EXPECT_EQ(releaseMessage([key](json& r) { r[key] = ""; }), std::string("Empty string field: ") + key);
    }
    for (const char* key : {"url", "sha256"}) {
        EXPECT_EQ(releaseMessage([key](json& r) { r["payload"].erase(key); }),
                  std::string("Missing string field: ") + key);
        EXPECT_EQ(releaseMessage([key](json& r) { r["payload"][key] = ""; }),
                  std::string("Empty string field: ") + key);
    }
    json document = feed();
    document["releases"][0]["payload"].erase("size");
    EXPECT_THROW(static_cast<void>(parseUpdateFeed(document.dump(), "prod", "x64")), json::out_of_range);
    document["releases"][0]["payload"]["size"] = "1234";
    EXPECT_THROW(static_cast<void>(parseUpdateFeed(document.dump(), "prod", "x64")), json::type_error);
    document["releases"][0]["payload"]["size"] = true;
    EXPECT_THROW(static_cast<void>(parseUpdateFeed(document.dump(), "prod", "x64")), json::type_error);
    document["releases"][0]["payload"]["size"] = 99.0;
    EXPECT_EQ(parseUpdateFeed(document.dump(), "prod", "x64").releases.at(0).size, 99U);
}

TEST(UpdateFeed, ValueRules) {
    constexpr const char* invalid = "Update feed contains invalid values";
    EXPECT_EQ(releaseMessage([](json& r) { r["releaseChannel"] = "nightly"; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["releaseChannel"] = "Stable"; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r = release("1.2"); }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r = release("01.2.3"); }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["minimumLauncherVersion"] = "1.0.0-beta"; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = 0; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = 2147483649ULL; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = -1; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = 1e30; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = -1e300; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = 18446744073709551615ULL; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = 2147483648.0; }), "");
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = 1; }), "");
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["size"] = 2147483648ULL; }), "");
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["sha256"] = std::string(64, 'A'); }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["sha256"] = std::string(63, 'a'); }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["sha256"] = std::string(65, 'a'); }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) { r["payload"]["sha256"] = std::string(63, 'a') + "g"; }), invalid);
    EXPECT_EQ(releaseMessage([](json& r) {
                  r["payload"]["url"] =
                      "https://downloads.ardenwick.app/windows/x64/1.2.4/Ardenwick-1.2.4-windows-x64.zip";
              }),
              invalid);

    json duplicate = feed();
    duplicate["releases"].push_back(release());
    duplicate["releases"][1]["releaseChannel"] = "beta";
    EXPECT_EQ(messageOf(duplicate), invalid);
    // The first broken rule decides, release by release.
    json firstDecides = feed();
    firstDecides["releases"][0]["releaseChannel"] = "nightly";
    firstDecides["releases"].push_back(42);
    EXPECT_EQ(messageOf(firstDecides), invalid);
}

TEST(UpdateFeed, ReleaseUrlRules) {
    const std::string path = expectedReleasePath("x64", "1.2.3");
    EXPECT_EQ(path, "/windows/x64/1.2.3/Ardenwick-1.2.3-windows-x64.zip");
    EXPECT_TRUE(isValidReleaseUrl("https://downloads.ardenwick.app" + path, path));
    EXPECT_TRUE(isValidReleaseUrl("https://a.b" + path, path));
    EXPECT_TRUE(isValidReleaseUrl("https://CDN-1.Example.COM" + path, path));
    for (const std::string& bad : std::vector<std::string>{
             "https://downloads.ardenwick.app" + path + "?x=1",
             "https://downloads.ardenwick.app" + path + "#top",
             "https://downloads.ardenwick.app:443" + path,
             "https://user@downloads.ardenwick.app" + path,
             "https://localhost" + path,
             "http://downloads.ardenwick.app" + path,
             "HTTPS://downloads.ardenwick.app" + path,
             "https:/downloads.ardenwick.app" + path,
             "https://" + path,
             "https://downloads..ardenwick.app" + path,
             "https://.ardenwick.app" + path,
             "https://ardenwick.app." + path,
             "https://-ardenwick.app" + path,
             "https://ardenwick.app-" + path,
             "https://ardenwick_cdn.app" + path,
             "https://ardenwick.app",
             "https://ardenwick.app/" + path,
             "https://ardenwick.app/windows/x64/1.2.3/Ardenwick-1.2.3-windows-X64.zip",
         }) {
        EXPECT_FALSE(isValidReleaseUrl(bad, path)) << bad;
    }
    // At most 2048 characters in all.
    const std::string prefix = "https://";
    const std::string suffix = ".example" + path;
    const std::string atLimit = prefix + std::string(2048 - prefix.size() - suffix.size(), 'a') + suffix;
    ASSERT_EQ(atLimit.size(), 2048U);
    EXPECT_TRUE(isValidReleaseUrl(atLimit, path));
    EXPECT_FALSE(isValidReleaseUrl(prefix + "a" + atLimit.substr(prefix.size()), path));
}

} // namespace
} // namespace ardenwick
