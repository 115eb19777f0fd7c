#include "telemetry/analytics_identifiers.h"
#include "telemetry/batch_endpoint.h"
#include "telemetry/batch_serializer.h"
#include "telemetry/configuration_provider.h"
#include "telemetry/event_timestamp.h"

#include <gtest/gtest.h>

#include <limits>

namespace ardenwick {
namespace {

// 2026-12-06T23:24:42Z as seconds since 1970.
constexpr std::int64_t Seconds = 1796599482;

TEST(EventTimestamp, CountsHundredNanosecondTicksFrom1970WithMilliseconds) {
    EXPECT_EQ(formatEventTimestamp(Seconds * 10'000'000 + 70'000), "2026-12-06T23:24:42.007Z");
    EXPECT_EQ(formatEventTimestamp(Seconds * 10'000'000 + 9'999'999), "2026-12-06T23:24:42.999Z");
    EXPECT_EQ(formatEventTimestamp(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(formatEventTimestamp(951'782'400LL * 10'000'000), "2000-02-29T00:00:00.000Z");
    // FILETIME's epoch would put "now" in the 17th century; the clock must be Unix-based.
    const auto now = formatEventTimestamp(currentEventTicks());
    EXPECT_EQ(now.substr(0, 2), "20") << now;
    EXPECT_EQ(currentEventTicks() / 10'000'000 - currentUnixSeconds(), 0);
}

// The application opens the outbox by the same name: the name of a key must never change.
TEST(OutboxFileName, IsTheDecimalFnv1aHashOfTheProjectKey) {
    // Published FNV-1a 64-bit vectors.
    EXPECT_EQ(outboxFileName(""), "14695981039346656037.db");
    EXPECT_EQ(outboxFileName("a"), "12638187200555641996.db");
    EXPECT_EQ(outboxFileName("foobar"), "9625390261332436968.db");
    // The shipped keys, so a changed key is seen as a new outbox too.
    EXPECT_EQ(outboxFileName(DefaultConfigurationProvider("production").configuration().analyticsProjectKey),
              "17638221986207559500.db");
    EXPECT_EQ(outboxFileName(DefaultConfigurationProvider("test").configuration().analyticsProjectKey),
              "7808983651209692594.db");
}

TEST(EscapeJsonString, EscapesQuotesBackslashesAndControlBytesOnly) {
    EXPECT_EQ(escapeJsonString("a\"b\\c/d"), "a\\\"b\\\\c/d");
    EXPECT_EQ(escapeJsonString("\b\t\n\f\r"), "\\b\\t\\n\\f\\r");
    EXPECT_EQ(escapeJsonString(std::string("\x00\x01\x1f\x0b", 4)), "\\u0000\\u0001\\u001f\\u000b");
    EXPECT_EQ(escapeJsonString("\x7f\xc3\xa9\xe2\x82\xac"), "\x7f\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(escapeJsonString("\x1b"), "\\u001b");
}

TEST(SerializeBatch, WritesTheExactBodyWithDistinctIdFirstAndOnce) {
    MetricsEvent event;
    event.name = "installer_download_result";
    event.uuid = "0f8fad5b-d9cb-469f-a165-70867728950e";
    event.distinctId = "anon_x";
    event.occurredAt = Seconds * 10'000'000 + 70'000;
    event.properties["distinct_id"] = std::string("spoofed");
    event.properties["result"] = std::string("line\n\"quoted\"");
    event.properties["ratio"] = 1.5;
    event.properties["delta"] = std::int64_t{-3};
    event.properties["retryable"] = true;
    event.properties["flag"] = false;
    event.properties["tags"] = std::vector<std::string>{"a", "b\\"};
    event.properties["map"] = std::map<std::string, std::string>{{"k", "v"}, {"a", "z"}};
    event.properties["Zeta"] = std::int64_t{0};
    event.properties["empty_list"] = std::vector<std::string>{};

    MetricsEvent second;
    second.name = "e2";
    second.uuid = "u2";
    second.distinctId = "anon_y";
    second.occurredAt = 0;

    EXPECT_EQ(serializeBatch("phc_key\"", {event, second}),
              "{\"api_key\":\"phc_key\\\"\",\"batch\":["
              "{\"event\":\"installer_download_result\",\"uuid\":\"0f8fad5b-d9cb-469f-a165-70867728950e\","
              "\"properties\":{\"distinct_id\":\"anon_x\",\"Zeta\":0,\"delta\":-3,\"empty_list\":[],"
              "\"flag\":false,\"map\":{\"a\":\"z\",\"k\":\"v\"},\"ratio\":1.500,"
              "\"result\":\"line\\n\\\"quoted\\\"\",\"retryable\":true,\"tags\":[\"a\",\"b\\\\\"]},"
              "\"timestamp\":\"2026-12-06T23:24:42.007Z\"},"
              "{\"event\":\"e2\",\"uuid\":\"u2\",\"properties\":{\"distinct_id\":\"anon_y\"},"
              "\"timestamp\":\"1970-01-01T00:00:00.000Z\"}]}");
    EXPECT_EQ(serializeBatch("k", {}), "{\"api_key\":\"k\",\"batch\":[]}");
}

TEST(SerializeBatch, DoublesHaveThreeDecimalsAndIntegersTheirFullRange) {
    auto one = [](PropertyValue value) {
        MetricsEvent event;
        event.name = "e";
        event.properties["v"] = std::move(value);
        const std::string body = serializeBatch("k", {event});
        const auto start = body.find("\"v\":") + 4;
        return body.substr(start, body.find("},\"timestamp\"") - start);
    };
    EXPECT_EQ(one(1.5), "1.500");
    EXPECT_EQ(one(-2.25), "-2.250");
    EXPECT_EQ(one(2.0), "2.000");
    EXPECT_EQ(one(1234567.8916), "1234567.892");
    EXPECT_EQ(one(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(one(std::int64_t{-3}), "-3");
}

TEST(ParseBatchEndpoint, TakesHttpsHostPortAndPathAndAppendsBatch) {
    auto endpoint = parseBatchEndpoint("https://eu.i.posthog.com");
    ASSERT_TRUE(endpoint.valid);
    EXPECT_EQ(endpoint.host, L"eu.i.posthog.com");
    EXPECT_EQ(endpoint.port, 443);
    EXPECT_TRUE(endpoint.secure);
    EXPECT_EQ(endpoint.path, L"/batch/");

    endpoint = parseBatchEndpoint("https://localhost:8443/base///");
    ASSERT_TRUE(endpoint.valid);
    EXPECT_EQ(endpoint.host, L"localhost");
    EXPECT_EQ(endpoint.port, 8443);
    EXPECT_EQ(endpoint.path, L"/base/batch/");

    endpoint = parseBatchEndpoint("HTTPS://user:pw@h.example/");
    ASSERT_TRUE(endpoint.valid);
    EXPECT_EQ(endpoint.host, L"h.example");
    EXPECT_EQ(endpoint.path, L"/batch/");

    for (const char* invalid :
         {"", "http://eu.i.posthog.com", "ftp://h/", "https://", "https:///path", "eu.i.posthog.com",
          "https://h:99999/", "https://h:4x3/", "https://\xff\xfe/"}) {
        EXPECT_FALSE(parseBatchEndpoint(invalid).valid) << invalid;
    }
}

TEST(ClassifyBatchStatus, DeliveredRetriedOrRejectedByStatus) {
    for (std::uint32_t status : {200u, 201u, 204u, 299u}) {
        EXPECT_EQ(classifyBatchStatus(status), DeliveryResult::Delivered) << status;
    }
    for (std::uint32_t status : {407u, 408u, 429u, 500u, 503u, 599u, 600u}) {
        EXPECT_EQ(classifyBatchStatus(status), DeliveryResult::Retry) << status;
    }
    for (std::uint32_t status : {100u, 199u, 300u, 304u, 400u, 401u, 404u, 406u, 409u, 428u, 430u, 499u}) {
        EXPECT_EQ(classifyBatchStatus(status), DeliveryResult::Rejected) << status;
    }
}

} // namespace
} // namespace ardenwick
