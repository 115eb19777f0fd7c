#include "common/text_conversion.h"
#include "support/test_profile.h"
#include "telemetry/batch_endpoint.h"
#include "telemetry/bootstrapper_event.h"
#include "telemetry/event_timestamp.h"
#include "telemetry/posthog_metrics.h"
#include "telemetry/system_info.h"
#include "telemetry/web_attribution.h"
#include "telemetry/web_attribution_file.h"

#include "../unit/telemetry_test_support.h"
#include "telemetry_windows_support.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <winhttp.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace ardenwick {
namespace {

using ardenwick::testing::Inspector;
using ardenwick::testing::TemporaryDirectory;

const std::string Expected = "https://downloads.ardenwick.app/windows-installer-prod-x64/Ardenwick-Setup.exe";

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

TEST(ReadWebAttribution, ReadsTheZoneIdentifierStreamOfTheFile) {
    TemporaryDirectory directory;
    const auto program = directory.path() / "Ardenwick-Setup.exe";
    writeFile(program, "MZ");
    EXPECT_TRUE(readWebAttribution(program, Expected).empty()) << "no stream: copied from a local disk";

    const auto stream = std::filesystem::path(program.wstring() + L":Zone.Identifier");
    writeFile(stream, "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://ardenwick.app/download\r\nHostUrl=" +
                          Expected +
                          "?ph_distinct_id=abc-123&aw_utm_source=newsletter&aw_utm_medium=email&other=1\r\n");
    const auto attribution = readWebAttribution(program, Expected);
    EventProperties expected{{"web_distinct_id", std::string("abc-123")},
                             {"web_utm_source", std::string("newsletter")},
                             {"web_utm_medium", std::string("email")}};
    EXPECT_EQ(attribution, expected);

    std::string oversized = "[ZoneTransfer]\nHostUrl=" + Expected + "?aw_utm_source=newsletter\n";
    oversized.resize(8193, ' ');
    writeFile(stream, oversized);
    EXPECT_TRUE(readWebAttribution(program, Expected).empty());
    oversized.resize(8192);
    writeFile(stream, oversized);
    EXPECT_FALSE(readWebAttribution(program, Expected).empty());

    writeFile(stream, "");
    EXPECT_TRUE(readWebAttribution(program, Expected).empty());
    EXPECT_TRUE(readWebAttribution(directory.path() / "missing.exe", Expected).empty());
}

TEST(SystemInfo, ArchitectureAndVersionComeFromTheSystem) {
    EXPECT_EQ(nativeArchitecture(), "x64");
    const std::string version = osVersionText();
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d+\.\d+)"))) << version;
    // The test prefix reports Windows 10.
    EXPECT_EQ(version.substr(0, 5), "10.0.") << version;
}

TEST(BatchEndpoint, AgreesWithWinHttpCrackUrl) {
    for (const char* url :
         {"https://eu.i.posthog.com", "https://localhost:8443/base///", "https://h.example/a/b",
          "https://user:pw@h.example:444/x/", "HTTPS://Upper.Example/"}) {
        const auto endpoint = parseBatchEndpoint(url);
        ASSERT_TRUE(endpoint.valid) << url;
        const std::wstring wide(url, url + std::strlen(url));
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof(parts);
        parts.dwHostNameLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = static_cast<DWORD>(-1);
        parts.dwSchemeLength = static_cast<DWORD>(-1);
        ASSERT_TRUE(WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) << url;
        EXPECT_EQ(parts.nScheme, INTERNET_SCHEME_HTTPS);
        EXPECT_EQ(std::wstring(parts.lpszHostName, parts.dwHostNameLength), endpoint.host) << url;
        EXPECT_EQ(parts.nPort, endpoint.port) << url;
        std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
        while (!path.empty() && path.back() == L'/') {
            path.pop_back();
        }
        EXPECT_EQ(path + L"/batch/", endpoint.path) << url;
    }
}

class WindowsClientTest : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }
    static void clean() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, testing::productKey(L"Software\\Ardenwick").c_str(),
                           L"AnalyticsDistinctId");
        RegDeleteTreeW(
            HKEY_CURRENT_USER,
            testing::productKey(L"Software\\Ardenwick\\Attribution\\AppsFlyer\\telemetry-client-test")
                .c_str());
    }
    TemporaryDirectory directory;
};

TEST_F(WindowsClientTest, TheShippedPlatformStoresEventsWithRegistryIdsAndSystemContext) {
    const auto outboxFile = directory.path() / "Analytics" / "client.db";
    std::vector<std::string> delivered;
    std::mutex mutex;
    MetricsOptions options;
    options.outboxPath = outboxFile;
    options.batchSender = [&](const std::string& body) {
        std::lock_guard lock(mutex);
        delivered.push_back(body);
        return false; // keep the row so the test can read it back
    };
    MetricsConfiguration configuration;
    configuration.apiKey = "phc_test";
    configuration.host = "https://analytics.example";
    configuration.environment = "dev";
    configuration.installationNamespace = "telemetry-client-test";
    std::string distinctId;
    std::string installationId;
    {
        PostHogMetrics client(configuration, options);
        ASSERT_TRUE(client.active());
        distinctId = client.distinctId();
        installationId = client.installationId();
        EXPECT_EQ(distinctId.size(), 41u);
        EXPECT_EQ(installationId.size(), 36u);
        BootstrapperEventContext context;
        context.installFlowId = "6F9619FF-8B86-D011-B42D-00CF4FC964FF";
        context.distinctId = distinctId;
        recordBootstrapperEvent(&client, context, "bootstrapper_started", {});
        Inspector db(outboxFile);
        const auto body = nlohmann::json::parse(db.text("SELECT body FROM events"));
        const auto& properties = body["batch"][0]["properties"];
        EXPECT_EQ(properties["distinct_id"], distinctId);
        EXPECT_EQ(properties["installation_id"], installationId);
        EXPECT_EQ(properties["cpu_arch"], "x64");
        EXPECT_EQ(properties["os_version"], osVersionText());
        EXPECT_EQ(properties["environment"], "dev");
        EXPECT_EQ(properties["source"], "bootstrapper");
        EXPECT_EQ(properties["install_flow_id"], context.installFlowId);
    }
    // The ids were stored in HKCU, so the next client sees the same ones.
    PostHogMetrics next(configuration, options);
    EXPECT_EQ(next.distinctId(), distinctId);
    EXPECT_EQ(next.installationId(), installationId);
}

// LocalAppData of the test profile here; the shipped program's is FOLDERID_LocalAppData.
TEST(WindowsMetricsPlatform, TheOutboxLivesUnderLocalAppDataNamedByTheKeyHash) {
    const auto platform = windowsMetricsPlatform();
    const auto path = platform.defaultOutboxPath("phc_abc");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->filename(), utf8ToWide(outboxFileName("phc_abc")));
    EXPECT_EQ(path->parent_path().filename(), L"Analytics");
    EXPECT_EQ(path->parent_path().parent_path().filename(), L"Ardenwick");
    EXPECT_EQ(path->parent_path().parent_path().parent_path(), testing::productLocalAppData());
}

} // namespace
} // namespace ardenwick
