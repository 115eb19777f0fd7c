// postBatch and the sender against a loopback HTTPS endpoint with the test PKI's certificate
// (run through telemetry_batch_server.py).
#include "telemetry/batch_transport.h"
#include "telemetry/bootstrapper_event.h"
#include "telemetry/event_timestamp.h"
#include "telemetry/posthog_metrics.h"

#include "../unit/telemetry_test_support.h"
#include "support/host_path.h"
#include "telemetry_windows_support.h"
#include "test_root_store.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace ardenwick {
namespace {

using ardenwick::testing::Inspector;
using ardenwick::testing::TemporaryDirectory;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::vector<nlohmann::json> requests() {
    std::ifstream log(ardenwick::testing::hostPath(environment("ARDENWICK_BATCH_SERVER_LOG")));
    std::vector<nlohmann::json> lines;
    std::string line;
    while (std::getline(log, line)) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

class BatchHttpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(environment("ARDENWICK_BATCH_SERVER_PORT").empty())
            << "run through telemetry_batch_server.py";
        ardenwick::testing::installTrustedRootCertificate(testing::telemetryTestDirectory() / L"test-pki" /
                                                          L"root.cer");
    }
    // The address, not "localhost": Windows tries ::1 first, where the server does not listen, and that
    // refused attempt costs a second or two of the post's time-outs.
    static std::string base(int status) {
        return "https://127.0.0.1:" + environment("ARDENWICK_BATCH_SERVER_PORT") + "/s" +
               std::to_string(status);
    }
    // Answers `status` with a Location that points at an endpoint answering 201.
    static std::string redirecting(int status) {
        return "https://127.0.0.1:" + environment("ARDENWICK_BATCH_SERVER_PORT") + "/r" +
               std::to_string(status);
    }
    static MetricsOptions optionsFor(const std::filesystem::path& outbox) {
        MetricsOptions options;
        options.outboxPath = outbox;
        options.distinctIdProvider = [] { return std::string("anon_https-test"); };
        return options;
    }
    static MetricsConfiguration configurationFor(const std::string& host) {
        MetricsConfiguration configuration;
        configuration.apiKey = "phc_test";
        configuration.host = host;
        configuration.environment = "dev";
        return configuration;
    }
};

TEST_F(BatchHttpsTest, PostsTheBodyAndClassifiesTheStatus) {
    const std::string body = R"({"api_key":"phc_test","batch":[{"event":"e"}]})";
    EXPECT_EQ(postBatch(parseBatchEndpoint(base(201)), body), DeliveryResult::Delivered);
    EXPECT_EQ(postBatch(parseBatchEndpoint(base(200)), body), DeliveryResult::Delivered);
    EXPECT_EQ(postBatch(parseBatchEndpoint(base(400)), body), DeliveryResult::Rejected);
    EXPECT_EQ(postBatch(parseBatchEndpoint(base(404)), body), DeliveryResult::Rejected);
    // 407: a proxy that wants credentials answered, not the server.
    for (int status : {407, 408, 429, 500, 503}) {
        EXPECT_EQ(postBatch(parseBatchEndpoint(base(status)), body), DeliveryResult::Retry) << status;
    }
    const auto log = requests();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[0]["method"], "POST");
    EXPECT_EQ(log[0]["path"], "/s201/batch/");
    EXPECT_EQ(log[0]["body"], body);
    EXPECT_EQ(log[0]["headers"]["Content-Type"], "application/json");
    EXPECT_EQ(log[0]["headers"]["User-Agent"], "Ardenwick/1.0.8 Metrics");
    EXPECT_EQ(log[0]["headers"]["Content-Length"], std::to_string(body.size()));
}

TEST_F(BatchHttpsTest, TheSenderDeletesDeliveredAndRejectedRowsAndKeepsRetriedOnes) {
    for (const int status : {201, 400, 503, 407}) {
        const bool retried = status == 503 || status == 407;
        TemporaryDirectory directory;
        const auto file = directory.path() / "outbox.db";
        const MetricsOptions options = optionsFor(file);
        const MetricsConfiguration configuration = configurationFor(base(status));
        const auto before = requests().size();
        const auto now = currentUnixSeconds();
        {
            PostHogMetrics client(configuration, options);
            BootstrapperEventContext context;
            context.installFlowId = "F";
            context.distinctId = "anon_https-test";
            recordBootstrapperEvent(&client, context, "bootstrapper_started", {});
            (void)client.flush(retried ? 500 : 10000);
        }
        const auto log = requests();
        ASSERT_GE(log.size(), before + 1) << status;
        const auto sent = nlohmann::json::parse(log[before]["body"].get<std::string>());
        EXPECT_EQ(sent["batch"][0]["event"], "bootstrapper_started");
        EXPECT_EQ(sent["batch"][0]["properties"]["distinct_id"], "anon_https-test");
        Inspector db(file);
        if (retried) {
            EXPECT_EQ(db.rows(), 1) << status;
            EXPECT_GE(db.integer("SELECT next FROM events"), now + 2) << status;
            EXPECT_EQ(db.discarded(), 0) << status;
        } else {
            EXPECT_EQ(db.rows(), 0) << status;
            EXPECT_EQ(db.discarded(), status == 400 ? 1 : 0);
        }
    }
}

// A redirect is an answer like any other 3xx: the batch is not sent again elsewhere (where a re-sent
// GET answered 2xx would count a lost event as delivered), and the row goes as a rejected one.
TEST_F(BatchHttpsTest, ARedirectIsRejectedWithoutASecondRequest) {
    const std::string body = R"({"api_key":"phc_test","batch":[{"event":"e"}]})";
    for (const int status : {302, 307}) {
        const auto before = requests().size();
        EXPECT_EQ(postBatch(parseBatchEndpoint(redirecting(status)), body), DeliveryResult::Rejected)
            << status;
        const auto log = requests();
        ASSERT_EQ(log.size(), before + 1) << status << ": only the POST itself reaches the server";
        EXPECT_EQ(log[before]["method"], "POST");
        EXPECT_EQ(log[before]["path"], "/r" + std::to_string(status) + "/batch/");
    }

    for (const int status : {302, 307}) {
        TemporaryDirectory directory;
        const auto file = directory.path() / "outbox.db";
        const MetricsOptions options = optionsFor(file);
        const MetricsConfiguration configuration = configurationFor(redirecting(status));
        const auto before = requests().size();
        {
            PostHogMetrics client(configuration, options);
            BootstrapperEventContext context;
            context.installFlowId = "F";
            context.distinctId = "anon_https-test";
            recordBootstrapperEvent(&client, context, "bootstrapper_started", {});
            (void)client.flush(10000);
        }
        EXPECT_EQ(requests().size(), before + 1) << status;
        Inspector db(file);
        EXPECT_EQ(db.rows(), 0) << status;
        EXPECT_EQ(db.discarded(), 1) << status;
    }
}

} // namespace
} // namespace ardenwick
