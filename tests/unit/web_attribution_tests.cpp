#include "telemetry/web_attribution.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

const std::string Expected = "https://downloads.ardenwick.app/windows-installer-prod-x64/Ardenwick-Setup.exe";

EventProperties strings(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    EventProperties properties;
    for (const auto& [key, value] : pairs) {
        properties[key] = std::string(value);
    }
    return properties;
}

TEST(WebSetupUrl, ReplacesTheLastPathSegment) {
    EXPECT_EQ(
        webSetupUrl("https://downloads.ardenwick.app/windows-installer-prod-x64/Ardenwick-FullSetup.exe"),
        Expected);
    EXPECT_EQ(webSetupUrl("https://h/a/"), "https://h/a/Ardenwick-Setup.exe");
}

TEST(PercentDecode, DecodesEscapesAndPlusAndRejectsBrokenEscapes) {
    EXPECT_EQ(percentDecode("Spring+Sale%21"), "Spring Sale!");
    EXPECT_EQ(percentDecode("%e2%82%AC%2b"), "\xe2\x82\xac+");
    EXPECT_EQ(percentDecode("plain"), "plain");
    EXPECT_EQ(percentDecode("%00"), std::string(1, '\0'));
    EXPECT_EQ(percentDecode("abc%4"), "");
    EXPECT_EQ(percentDecode("abc%"), "");
    EXPECT_EQ(percentDecode("%zz"), "");
    EXPECT_EQ(percentDecode("%4g"), "");
}

TEST(ParseWebAttributionUrl, MapsTheKnownParametersOfAnAcceptedLink) {
    EXPECT_EQ(
        parseWebAttributionUrl(Expected +
                                   "?ph_distinct_id=abc-123&aw_utm_source=newsletter&aw_utm_medium=email"
                                   "&other=1",
                               Expected),
        strings(
            {{"web_distinct_id", "abc-123"}, {"web_utm_source", "newsletter"}, {"web_utm_medium", "email"}}));
    EXPECT_EQ(
        parseWebAttributionUrl(std::string(WebDownloadUrl) + "?aw_utm_campaign=Spring+Sale%21", Expected),
        strings({{"web_utm_campaign", "Spring Sale!"}}));
    // Unmapped names, pieces without "=", and later duplicates.
    EXPECT_EQ(parseWebAttributionUrl(Expected + "?aw_utm_id=1&aw_utm_=x&novalue&aw_utm_term=a&aw_utm_term=b&"
                                                "%61w_utm_content=enc",
                                     Expected),
              strings({{"web_utm_term", "b"}, {"web_utm_content", "enc"}}));
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?", Expected).empty());
}

TEST(ParseWebAttributionUrl, OtherLinksAndAnyBadValueGiveNothing) {
    const std::string good = "aw_utm_source=newsletter";
    EXPECT_TRUE(parseWebAttributionUrl(Expected, Expected).empty()) << "no query";
    EXPECT_TRUE(parseWebAttributionUrl(
                    "https://evil.example/windows-installer-prod-x64/Ardenwick-Setup.exe?" + good, Expected)
                    .empty());
    EXPECT_TRUE(parseWebAttributionUrl(
                    "https://downloads.ardenwick.app/windows-installer-prod-x64/Other.exe?" + good, Expected)
                    .empty());
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?" + good + "#frag", Expected).empty());
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?" + good + std::string(1, '\0'), Expected).empty());
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?ph_distinct_id=a.b&" + good, Expected).empty());
    EXPECT_TRUE(
        parseWebAttributionUrl(Expected + "?aw_utm_campaign=" + std::string(201, 'c'), Expected).empty());
    EXPECT_FALSE(
        parseWebAttributionUrl(Expected + "?aw_utm_campaign=" + std::string(200, 'c'), Expected).empty());
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?aw_utm_campaign=a%0Ab&" + good, Expected).empty());
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?" + good + "&aw_utm_campaign=sale%2", Expected).empty());
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?aw_utm_campaign=&" + good, Expected).empty())
        << "empty value";
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?aw_utm_term=%ff%fe", Expected).empty()) << "not UTF-8";
    EXPECT_TRUE(parseWebAttributionUrl(Expected + "?aw_utm_term=%7f", Expected).empty());
    // The whole link is limited to 8192 bytes.
    std::string longLink = Expected + "?" + good + "&x=";
    longLink.resize(8193, 'x');
    EXPECT_TRUE(parseWebAttributionUrl(longLink, Expected).empty());
    longLink.resize(8192);
    EXPECT_FALSE(parseWebAttributionUrl(longLink, Expected).empty());
}

TEST(ParseZoneIdentifier, ReadsTheSingleHostUrlOfTheZoneTransferSection) {
    const std::string link = Expected + "?aw_utm_source=newsletter";
    EXPECT_EQ(
        parseZoneIdentifier(
            "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://ardenwick.app/\r\nHostUrl=" + link + "\r\n",
            Expected),
        strings({{"web_utm_source", "newsletter"}}));
    EXPECT_EQ(parseZoneIdentifier("[ZoneTransfer]\nHostUrl=" + link, Expected),
              strings({{"web_utm_source", "newsletter"}}));
    EXPECT_TRUE(parseZoneIdentifier("", Expected).empty());
    EXPECT_TRUE(parseZoneIdentifier("HostUrl=" + link + "\n[ZoneTransfer]\nZoneId=3\n", Expected).empty());
    EXPECT_TRUE(parseZoneIdentifier("[ZoneTransfer]\n  HostUrl=" + link + "\n", Expected).empty());
    EXPECT_TRUE(parseZoneIdentifier("[ZoneTransfer]\nhosturl=" + link + "\n", Expected).empty());
    EXPECT_TRUE(parseZoneIdentifier("[ZoneTransfer] \nHostUrl=" + link + "\n", Expected).empty());
    EXPECT_TRUE(parseZoneIdentifier("[ZoneTransfer]\n[Other]\nHostUrl=" + link + "\n", Expected).empty());
    // A second link in a ZoneTransfer section, even a later one, voids the first.
    EXPECT_TRUE(parseZoneIdentifier(
                    "[ZoneTransfer]\nHostUrl=" + link + "\n[Other]\n[ZoneTransfer]\nHostUrl=x\n", Expected)
                    .empty());
    EXPECT_FALSE(
        parseZoneIdentifier("[ZoneTransfer]\nHostUrl=" + link + "\n[Other]\nHostUrl=x\n", Expected).empty());
    std::string stream = "[ZoneTransfer]\nHostUrl=" + link + "\n";
    stream.resize(8192, ' ');
    EXPECT_FALSE(parseZoneIdentifier(stream, Expected).empty());
    stream.push_back(' ');
    EXPECT_TRUE(parseZoneIdentifier(stream, Expected).empty()) << "more than 8192 bytes";
}

TEST(WebAttributionFromContext, TakesEachValidStringAlone) {
    const auto context = nlohmann::json::parse(
        R"({"web_distinct_id":"a.b","web_utm_source":"news","web_utm_medium":5,"web_utm_term":"Spring+Sale%21",)"
        R"("web_utm_content":"","web_utm_campaign":"line\nfeed","web_other":"x"})");
    EXPECT_EQ(webAttributionFromContext(context),
              strings({{"web_utm_source", "news"}, {"web_utm_term", "Spring+Sale%21"}}));
    EXPECT_TRUE(webAttributionFromContext(nlohmann::json::array()).empty());
}

} // namespace
} // namespace ardenwick
