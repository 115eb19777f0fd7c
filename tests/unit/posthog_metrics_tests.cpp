#include "telemetry/bootstrapper_event.h"
#include "telemetry/event_timestamp.h"
#include "telemetry/installation_outbox.h"
#include "telemetry/posthog_metrics.h"

#include "telemetry_test_support.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <future>
#include <mutex>
#include <regex>
#include <thread>

namespace ardenwick {
namespace {

using namespace std::chrono_literals;
using testing::Inspector;
using testing::recordNumbered;
using testing::TemporaryDirectory;

constexpr const char* InstallationId = "0f8fad5b-d9cb-469f-a165-70867728950e";

/// The batch-sender override: records every body, answers from a script, and can hold deliveries back.
class ScriptedSender {
public:
    std::function<bool(const std::string&)> callable() {
        return [this](const std::string& body) { return send(body); };
    }
    void script(std::deque<bool> results, bool otherwise) {
        std::lock_guard lock(mutex_);
        results_ = std::move(results);
        otherwise_ = otherwise;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void releaseAll() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    /// Waits (up to ten seconds) until at least count deliveries have started.
    bool waitForCalls(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return started_ >= count; });
    }
    std::vector<std::string> bodies() {
        std::lock_guard lock(mutex_);
        return bodies_;
    }
    std::size_t calls() {
        std::lock_guard lock(mutex_);
        return bodies_.size();
    }

private:
    bool send(const std::string& body) {
        std::unique_lock lock(mutex_);
        ++started_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        bodies_.push_back(body);
        if (results_.empty()) {
            return otherwise_;
        }
        const bool result = results_.front();
        results_.pop_front();
        return result;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    std::size_t started_ = 0;
    std::deque<bool> results_;
    bool otherwise_ = true;
    std::vector<std::string> bodies_;
};

struct PlatformLog {
    std::mutex mutex;
    std::vector<std::string> persisted;
    std::vector<std::string> namespaces;
    std::vector<std::string> posted;
    DeliveryResult postResult = DeliveryResult::Delivered;
};

MetricsPlatform testPlatform(PlatformLog& log) {
    MetricsPlatform platform;
    platform.analyticsDistinctId = [] { return std::string("anon_platform-id"); };
    platform.installationIdentity = [&log](const std::string& space) {
        std::lock_guard lock(log.mutex);
        log.namespaces.push_back(space);
        return space.empty() ? std::string() : std::string(InstallationId);
    };
    platform.persistDistinctId = [&log](const std::string& id) {
        std::lock_guard lock(log.mutex);
        log.persisted.push_back(id);
    };
    platform.defaultOutboxPath = [](const std::string&) { return std::optional<std::filesystem::path>(); };
    platform.postBatch = [&log](const BatchEndpoint&, const std::string& body) {
        std::lock_guard lock(log.mutex);
        log.posted.push_back(body);
        return log.postResult;
    };
    platform.nativeArchitecture = [] { return std::string("x64"); };
    platform.osVersionText = [] { return std::string("10.0.22631"); };
    platform.memoryRetryBaseDelay = 1ms;
    return platform;
}

MetricsConfiguration configuration(std::string environment = "dev") {
    MetricsConfiguration c;
    c.apiKey = "phc_test";
    c.host = "https://analytics.example";
    c.environment = std::move(environment);
    c.enabled = true;
    c.installationNamespace = "ardenwick-windows";
    return c;
}

MetricsEvent appEvent(const std::string& name, int index) {
    MetricsEvent event;
    event.name = name;
    event.occurredAt = currentEventTicks();
    event.properties["status"] = "e" + std::to_string(index);
    return event;
}

std::vector<nlohmann::json> eventsOf(const std::vector<std::string>& bodies) {
    std::vector<nlohmann::json> events;
    for (const auto& body : bodies) {
        const auto parsed = nlohmann::json::parse(body);
        for (const auto& event : parsed.at("batch")) {
            events.push_back(event);
        }
    }
    return events;
}

class MetricsTest : public ::testing::Test {
protected:
    TemporaryDirectory directory;
    std::filesystem::path outboxFile = directory.path() / "Analytics" / "outbox.db";
    ScriptedSender sender;
    PlatformLog log;

    MetricsOptions options(bool withOutbox = true) {
        MetricsOptions o;
        o.batchSender = sender.callable();
        if (withOutbox) {
            o.outboxPath = outboxFile;
        }
        o.installationIdProvider = [] { return std::string(InstallationId); };
        return o;
    }
};

TEST_F(MetricsTest, BootstrapperEventIsStoredWithTheWholeEnvelopeAndDelivered) {
    sender.hold();
    PostHogMetrics client(configuration("dev"), options(), testPlatform(log));
    ASSERT_TRUE(client.active());
    EXPECT_EQ(client.distinctId(), "anon_platform-id");
    BootstrapperEventContext context;
    context.installFlowId = "F1";
    context.attemptId = "A1";
    context.webAttribution["web_utm_source"] = std::string("news");
    context.distinctId = client.distinctId();
    recordBootstrapperEvent(&client, context, "installer_download_result",
                            {{"result", std::string("success")},
                             {"stray", std::string("dropped")},
                             {"retry_number", std::string("2")},
                             {"source", std::string("caller")}});

    Inspector db(outboxFile);
    ASSERT_EQ(db.rows(), 1);
    const auto stored = nlohmann::json::parse(db.text("SELECT body FROM events"));
    EXPECT_EQ(stored.at("api_key"), "phc_test");
    ASSERT_EQ(stored.at("batch").size(), 1u);
    const auto& event = stored.at("batch")[0];
    EXPECT_EQ(event.at("event"), "installer_download_result");
    EXPECT_EQ(event.at("uuid"), db.text("SELECT uuid FROM events"));
    EXPECT_TRUE(
        std::regex_match(event.at("uuid").get<std::string>(),
                         std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")));
    auto properties = event.at("properties");
    const std::string occurredAt = properties.at("occurred_at").get<std::string>();
    EXPECT_EQ(occurredAt, event.at("timestamp").get<std::string>());
    EXPECT_TRUE(std::regex_match(occurredAt, std::regex(R"(20\d\d-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
        << occurredAt;
    properties.erase("occurred_at");
    EXPECT_EQ(properties, nlohmann::json::parse(R"({
        "distinct_id": "anon_platform-id", "result": "success", "source": "caller", "environment": "dev",
        "schema_version": 1, "bootstrapper_version": "1.0.2", "install_flow_id": "F1", "attempt_id": "A1",
        "web_utm_source": "news", "app_name": "Ardenwick", "app_platform": "ardenwick_windows",
        "platform": "windows", "app_version": "1.0.8", "os_version": "10.0.22631", "cpu_arch": "x64",
        "installation_id": "0f8fad5b-d9cb-469f-a165-70867728950e"})"));

    // The sender posts the stored body unchanged and deletes the row.
    sender.releaseAll();
    EXPECT_TRUE(client.flush(10000));
    ASSERT_EQ(sender.calls(), 1u);
    EXPECT_EQ(nlohmann::json::parse(sender.bodies()[0]), stored);
    EXPECT_EQ(db.rows(), 0);
}

TEST_F(MetricsTest, DurableEventsAreDroppedForBadIdsUnknownNamesAndWithoutAnOutbox) {
    sender.hold();
    {
        PostHogMetrics client(configuration(), options(), testPlatform(log));
        auto event = [] {
            MetricsEvent e;
            e.name = "bootstrapper_started";
            e.occurredAt = currentEventTicks();
            return e;
        };
        client.recordDurable(event(), "anon_" + std::string(196, 'a'));
        client.recordDurable(event(), "user_123");
        client.recordDurable(event(), "anon_with.dot");
        auto unknown = event();
        unknown.name = "bootstrapper_unknown";
        client.recordDurable(unknown, "anon_ok");
        Inspector db(outboxFile);
        EXPECT_EQ(db.rows(), 0);
        client.recordDurable(event(), "anon_" + std::string(195, 'a'));
        EXPECT_EQ(db.rows(), 1) << "200 characters are allowed";
        sender.releaseAll();
    }
    const auto deliveredBefore = sender.calls();
    {
        PostHogMetrics client(configuration(""), options(false), testPlatform(log));
        MetricsEvent e;
        e.name = "bootstrapper_started";
        e.properties["environment"] = std::string("prod");
        client.recordDurable(e, "anon_ok");
        EXPECT_TRUE(client.flush(0)) << "no outbox and an empty memory queue: nothing pending";
        EXPECT_EQ(sender.calls(), deliveredBefore);
    }
}

TEST_F(MetricsTest, EnvironmentIsKeptWhenNoneIsConfiguredAndReplacedOtherwise) {
    sender.hold();
    PostHogMetrics client(configuration(""), options(), testPlatform(log));
    MetricsEvent e;
    e.name = "bootstrapper_started";
    e.properties["environment"] = std::string("prod");
    client.recordDurable(e, "anon_ok");
    Inspector db(outboxFile);
    const auto body = nlohmann::json::parse(db.text("SELECT body FROM events"));
    EXPECT_EQ(body["batch"][0]["properties"]["environment"], "prod");
    EXPECT_EQ(body["batch"][0]["properties"]["source"], "application");
    sender.releaseAll();
}

TEST_F(MetricsTest, AFailedOutboxDeliveryStaysForLaterWithItsBackOff) {
    sender.script({}, false);
    {
        PostHogMetrics client(configuration(), options(), testPlatform(log));
        MetricsEvent e;
        e.name = "bootstrapper_started";
        const auto before = currentUnixSeconds();
        client.recordDurable(e, "anon_ok");
        ASSERT_TRUE(sender.waitForCalls(1));
        EXPECT_FALSE(client.flush(300)) << "a row waiting for its retry is pending";
        Inspector db(outboxFile);
        EXPECT_EQ(db.rows(), 1);
        EXPECT_EQ(db.integer("SELECT attempts FROM events"), 1);
        const auto next = db.integer("SELECT next FROM events");
        EXPECT_GE(next, before + 2);
        EXPECT_LE(next, currentUnixSeconds() + 2);
    }
    // The destructor leaves the row on disk for the next process.
    Inspector db(outboxFile);
    EXPECT_EQ(db.rows(), 1);
}

// A host that takes the batch and never answers: the stopping client aborts the post and does not wait
// for it without bound, whether the abort wakes the post (as on Windows) or not (as Wine's TLS
// handshake); the event stays in the outbox for the next run.
TEST_F(MetricsTest, StoppingDoesNotWaitForAPostThatNeverReturns) {
    for (const bool abortWakesThePost : {true, false}) {
        SCOPED_TRACE(abortWakesThePost ? "the abort wakes the post" : "the post never returns");
        // Shared with the sender thread, which may outlive the client.
        struct Host {
            std::mutex mutex;
            std::condition_variable changed;
            bool answer = false;
            int posts = 0;
            int aborts = 0;
        };
        auto host = std::make_shared<Host>();
        auto platform = testPlatform(log);
        platform.postBatch = [host](const BatchEndpoint&, const std::string&) {
            std::unique_lock lock(host->mutex);
            ++host->posts;
            host->changed.notify_all();
            host->changed.wait(lock, [&] { return host->answer; });
            return DeliveryResult::Retry;
        };
        platform.abortPost = [host, abortWakesThePost] {
            std::lock_guard lock(host->mutex);
            ++host->aborts;
            host->answer = host->answer || abortWakesThePost;
            host->changed.notify_all();
        };
        const auto file = directory.path() / (abortWakesThePost ? "woken.db" : "stuck.db");
        MetricsOptions o = options();
        o.batchSender = nullptr;
        o.outboxPath = file;
        auto client = std::make_unique<PostHogMetrics>(configuration(), o, std::move(platform));
        MetricsEvent e;
        e.name = "bootstrapper_started";
        client->recordDurable(e, "anon_ok");
        {
            std::unique_lock lock(host->mutex);
            ASSERT_TRUE(host->changed.wait_for(lock, 10s, [&] { return host->posts == 1; }));
        }

        auto stopping = std::async(std::launch::async, [&client] { client.reset(); });
        const bool stopped = stopping.wait_for(30s) == std::future_status::ready;
        {
            std::lock_guard lock(host->mutex);
            EXPECT_EQ(host->aborts, 1);
            host->answer = true; // let a sender that is still waiting end, so the test can
            host->changed.notify_all();
        }
        ASSERT_TRUE(stopped) << "the client waited for the post in flight";
        // Once the sender has let go of its state, nothing holds the host but this test.
        for (int i = 0; i < 200 && host.use_count() > 1; ++i) {
            std::this_thread::sleep_for(50ms);
        }
        EXPECT_EQ(host.use_count(), 1);
        Inspector db(file);
        EXPECT_EQ(db.rows(), 1);
        EXPECT_EQ(db.integer("SELECT attempts FROM events"), 1) << "the aborted post counts as a failed one";
        EXPECT_EQ(host->posts, 1);
    }
}

/// The statuses of the stored events, in the order their rows were appended.
std::string storedStatuses(const Inspector& db) {
    return db.text("SELECT group_concat(json_extract(body,'$.batch[0].properties.status'),',') FROM "
                   "(SELECT body FROM events ORDER BY rowid)");
}

std::string numbered(int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) {
        text += (text.empty() ? "e" : ",e") + std::to_string(i);
    }
    return text;
}

bool waitForRows(const Inspector& db, std::int64_t rows) {
    for (int i = 0; i < 400 && db.rows() < rows; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    return db.rows() == rows;
}

TEST_F(MetricsTest, ABusyOutboxKeepsEventsUntilTheSenderAppendsThemInOrder) {
    sender.script({}, false); // deliveries fail, so the rows stay to be looked at
    auto platform = testPlatform(log);
    platform.busyRetryBaseDelay = 20ms;
    { InstallationOutbox create(outboxFile); }
    {
        SCOPED_TRACE("busy when the client opens the outbox");
        Inspector holder(outboxFile);
        holder.exec("BEGIN IMMEDIATE");
        PostHogMetrics client(configuration(), options(), platform);
        recordNumbered(client, 0, 2);
        EXPECT_FALSE(client.flush(0)) << "kept events are pending";
        EXPECT_EQ(holder.rows(), 0);
        holder.exec("COMMIT");
        EXPECT_TRUE(waitForRows(holder, 3));
        EXPECT_EQ(storedStatuses(holder), numbered(0, 2));
    }
    {
        SCOPED_TRACE("busy when an event is appended");
        PostHogMetrics client(configuration(), options(), platform);
        Inspector holder(outboxFile);
        holder.exec("BEGIN IMMEDIATE");
        recordNumbered(client, 3, 3); // waits out the busy timeout once
        const auto start = std::chrono::steady_clock::now();
        // 102 kept events in all: the two oldest give way.
        recordNumbered(client, 4, 104);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "later events go straight to memory";
        EXPECT_EQ(holder.rows(), 3);
        holder.exec("COMMIT");
        // The newest kept event is appended last: once it is there, they all are.
        for (int i = 0; i < 400 && storedStatuses(holder).find("e104") == std::string::npos; ++i) {
            std::this_thread::sleep_for(50ms);
        }
        // The sender may have had e3 or e4 in hand, waiting out the lock, when it was dropped from memory.
        const std::string before = numbered(0, 2) + ",";
        const std::string after = numbered(5, 104);
        const std::string stored = storedStatuses(holder);
        EXPECT_TRUE(stored == before + after || stored == before + "e3," + after ||
                    stored == before + "e4," + after)
            << stored;
    }
}

TEST_F(MetricsTest, AnOutboxFoundDamagedGivesWayToAFreshOneThatTakesTheEvent) {
    sender.script({}, false);
    // No row to lease: the sender never reads the damaged index, the append finds it.
    { InstallationOutbox create(outboxFile); }
    testing::damageIndexOfEvents(outboxFile);
    PostHogMetrics client(configuration(), options(), testPlatform(log));
    recordNumbered(client, 0, 0);
    const auto aside = outboxFile.parent_path() / "outbox.db.corrupt";
    EXPECT_TRUE(std::filesystem::exists(aside));
    Inspector db(outboxFile);
    EXPECT_EQ(storedStatuses(db), "e0");
    EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
}

TEST_F(MetricsTest, TheSenderDeliversRowsAnotherConnectionAppended) {
    auto platform = testPlatform(log);
    platform.idleWait = 20ms;
    PostHogMetrics client(configuration(), options(), platform);
    {
        InstallationOutbox other(outboxFile);
        other.append("row-from-elsewhere", "{\"api_key\":\"x\",\"batch\":[]}", currentUnixSeconds());
    }
    ASSERT_TRUE(sender.waitForCalls(1));
    EXPECT_TRUE(client.flush(10000));
    EXPECT_EQ(sender.bodies().at(0), "{\"api_key\":\"x\",\"batch\":[]}");
}

TEST_F(MetricsTest, TwentyCapturedEventsWakeTheSenderAndBatchesHoldTwenty) {
    PostHogMetrics client(configuration(), options(false), testPlatform(log));
    for (int i = 0; i < 19; ++i) {
        client.capture(appEvent("user_registered", i));
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(sender.calls(), 0u) << "nineteen events wait for the idle period";
    client.capture(appEvent("user_registered", 19));
    ASSERT_TRUE(sender.waitForCalls(1)) << "the twentieth event wakes the sender";
    for (int i = 20; i < 25; ++i) {
        client.capture(appEvent("user_registered", i));
    }
    EXPECT_TRUE(client.flush(10000));
    const auto bodies = sender.bodies();
    ASSERT_EQ(bodies.size(), 2u);
    const auto first = eventsOf({bodies[0]});
    ASSERT_EQ(first.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(first[i]["properties"]["status"], "e" + std::to_string(i));
        EXPECT_EQ(first[i]["properties"]["distinct_id"], "anon_platform-id");
        EXPECT_EQ(first[i]["properties"]["app_name"], "Ardenwick");
    }
    EXPECT_EQ(eventsOf({bodies[1]}).size(), 5u);
}

TEST_F(MetricsTest, TheMemoryQueueKeepsTheNewestThousandEvents) {
    PostHogMetrics client(configuration(), options(false), testPlatform(log));
    sender.hold();
    for (int i = 0; i < 20; ++i) {
        client.capture(appEvent("user_registered", i));
    }
    ASSERT_TRUE(sender.waitForCalls(1));
    for (int i = 20; i < 1025; ++i) {
        client.capture(appEvent("user_registered", i));
    }
    sender.releaseAll();
    EXPECT_TRUE(client.flush(20000));
    const auto events = eventsOf(sender.bodies());
    ASSERT_EQ(events.size(), 1020u);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(events[i]["properties"]["status"], "e" + std::to_string(i));
    }
    // Five of the held-back events were pushed out: e20..e24.
    for (std::size_t i = 20; i < events.size(); ++i) {
        EXPECT_EQ(events[i]["properties"]["status"], "e" + std::to_string(i + 5));
    }
}

TEST_F(MetricsTest, AMemoryBatchIsTriedFiveTimesThenDropped) {
    {
        sender.script({}, false);
        PostHogMetrics client(configuration(), options(false), testPlatform(log));
        for (int i = 0; i < 20; ++i) {
            client.capture(appEvent("user_registered", i));
        }
        EXPECT_TRUE(client.flush(20000));
        EXPECT_EQ(sender.calls(), 5u);
        for (const auto& body : sender.bodies()) {
            EXPECT_EQ(eventsOf({body}).size(), 20u);
            EXPECT_EQ(body, sender.bodies()[0]) << "the same batch, uuids included, in the same order";
        }
    }
    ScriptedSender lastChance;
    lastChance.script({false, false, false, false, true}, false);
    auto o = options(false);
    o.batchSender = lastChance.callable();
    PostHogMetrics client(configuration(), o, testPlatform(log));
    for (int i = 0; i < 20; ++i) {
        client.capture(appEvent("user_registered", i));
    }
    EXPECT_TRUE(client.flush(20000));
    EXPECT_EQ(lastChance.calls(), 5u) << "four failures, then delivered on the fifth try";
}

TEST_F(MetricsTest, FlushLimits) {
    PostHogMetrics client(configuration(), options(false), testPlatform(log));
    EXPECT_TRUE(client.flush(0)) << "nothing pending";
    sender.hold();
    client.capture(appEvent("user_registered", 1));
    EXPECT_FALSE(client.flush(0)) << "a limit of zero tests once";
    EXPECT_FALSE(client.flush(-5));
    ASSERT_TRUE(sender.waitForCalls(1));
    EXPECT_FALSE(client.flush(100)) << "a batch being sent is pending";
    sender.releaseAll();
    EXPECT_TRUE(client.flush(10000));
}

TEST_F(MetricsTest, ResetIdentityMakesAFreshIdAndHandsItToTheSinkOrTheRegistry) {
    std::vector<std::string> sunk;
    auto o = options(false);
    o.distinctIdSink = [&sunk](const std::string& id) { sunk.push_back(id); };
    {
        PostHogMetrics client(configuration(), o, testPlatform(log));
        const auto before = client.distinctId();
        client.resetIdentity();
        const auto after = client.distinctId();
        EXPECT_NE(after, before);
        EXPECT_EQ(after.size(), 41u);
        EXPECT_TRUE(
            std::regex_match(after, std::regex("anon_[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-"
                                               "[0-9a-f]{12}")));
        ASSERT_EQ(sunk, std::vector<std::string>{after});
        EXPECT_TRUE(log.persisted.empty());
        client.capture(appEvent("user_registered", 0));
        EXPECT_TRUE(client.flush(10000));
        EXPECT_EQ(eventsOf(sender.bodies()).at(0)["properties"]["distinct_id"], after);
    }
    PostHogMetrics client(configuration(), options(false), testPlatform(log));
    client.resetIdentity();
    ASSERT_EQ(log.persisted.size(), 1u);
    EXPECT_EQ(log.persisted[0], client.distinctId());

    MetricsConfiguration inactive = configuration();
    inactive.apiKey.clear();
    PostHogMetrics off(inactive, o, testPlatform(log));
    off.resetIdentity();
    EXPECT_EQ(sunk.size(), 1u) << "an inactive client changes nothing";
}

TEST_F(MetricsTest, SendGrowthEventReturnCodes) {
    {
        PostHogMetrics withSender(configuration(), options(false), testPlatform(log));
        sender.script({true, false}, true);
        EXPECT_EQ(withSender.sendGrowthEvent("{}"), 0);
        EXPECT_EQ(withSender.sendGrowthEvent("{}"), 1);
    }
    auto noSender = options(false);
    noSender.batchSender = nullptr;
    PostHogMetrics client(configuration(), noSender, testPlatform(log));
    log.postResult = DeliveryResult::Delivered;
    EXPECT_EQ(client.sendGrowthEvent("body"), 0);
    log.postResult = DeliveryResult::Rejected;
    EXPECT_EQ(client.sendGrowthEvent("body"), 4);
    log.postResult = DeliveryResult::Retry;
    EXPECT_EQ(client.sendGrowthEvent("body"), 1);
    EXPECT_EQ(log.posted.size(), 3u);

    MetricsConfiguration badHost = configuration();
    badHost.host = "http://analytics.example";
    PostHogMetrics invalid(badHost, noSender, testPlatform(log));
    EXPECT_FALSE(invalid.active());
    EXPECT_EQ(invalid.sendGrowthEvent("body"), 2);
    MetricsConfiguration disabled = configuration();
    disabled.enabled = false;
    PostHogMetrics off(disabled, noSender, testPlatform(log));
    EXPECT_EQ(off.sendGrowthEvent("body"), 2);
    EXPECT_FALSE(off.isEnabled());
    EXPECT_EQ(log.posted.size(), 3u);
}

TEST_F(MetricsTest, InstallationIdNamespaceFollowsTheConfiguration) {
    MetricsOptions bare;
    bare.batchSender = sender.callable();
    {
        PostHogMetrics client(configuration(), bare, testPlatform(log));
        EXPECT_EQ(client.installationId(), InstallationId);
    }
    auto c = configuration("prod");
    c.installationNamespace.clear();
    { PostHogMetrics client(c, bare, testPlatform(log)); }
    c.environment = "dev";
    {
        PostHogMetrics client(c, bare, testPlatform(log));
        EXPECT_EQ(client.installationId(), "");
    }
    EXPECT_EQ(log.namespaces, (std::vector<std::string>{"ardenwick-windows", "ardenwick-windows", ""}));
    auto withDistinct = bare;
    withDistinct.distinctIdProvider = [] { return std::string("anon_given"); };
    PostHogMetrics client(configuration(), withDistinct, testPlatform(log));
    EXPECT_EQ(client.distinctId(), "anon_given");
    EXPECT_EQ(client.installationId(), "") << "a distinct-id provider without an installation-id provider";
    EXPECT_EQ(log.namespaces.size(), 3u);
}

TEST_F(MetricsTest, IdentifyTiesTheAnonymousIdToTheUserOnce) {
    PostHogMetrics client(configuration(), options(false), testPlatform(log));
    client.identify("user-1", {{"email", std::string("a@example.com")}, {"seats", std::int64_t{3}}});
    client.identify("user-1", {{"email", std::string("a@example.com")}, {"seats", std::int64_t{3}}});
    EXPECT_TRUE(client.flush(10000));
    const auto events = eventsOf(sender.bodies());
    ASSERT_EQ(events.size(), 1u) << "the same person properties are not sent twice";
    EXPECT_EQ(events[0]["event"], "$identify");
    EXPECT_EQ(events[0]["properties"], nlohmann::json::parse(R"({"distinct_id":"user-1",
        "$anon_distinct_id":"anon_platform-id","$set":{"email":"a@example.com"}})"));
    client.resetIdentity();
    client.identify("user-1");
    EXPECT_TRUE(client.flush(10000));
    EXPECT_EQ(eventsOf(sender.bodies()).size(), 2u) << "a reset identity is identified again";
}

void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv((std::string(name) + "=" + value).c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

/// The three variables the launcher hands to the application, removed again afterwards.
class InstallContextEnvironment {
public:
    InstallContextEnvironment(const std::string& context, const std::string& pid, const std::string& job) {
        setVariable("ARDENWICK_INSTALL_CONTEXT", context);
        setVariable("ARDENWICK_LAUNCHER_PID", pid);
        setVariable("ARDENWICK_RUNTIME_JOB", job);
    }
    InstallContextEnvironment(const InstallContextEnvironment&) = delete;
    InstallContextEnvironment& operator=(const InstallContextEnvironment&) = delete;
    ~InstallContextEnvironment() {
        for (const char* name :
             {"ARDENWICK_INSTALL_CONTEXT", "ARDENWICK_LAUNCHER_PID", "ARDENWICK_RUNTIME_JOB"}) {
#ifdef _WIN32
            _putenv((std::string(name) + "=").c_str());
#else
            unsetenv(name);
#endif
        }
    }
};

TEST_F(MetricsTest, ApplicationEventsCarryTheInstallContextOfTheEnvironment) {
    const InstallContextEnvironment environment(
        R"({"schemaVersion":1,"launcherPid":4321,"app_run_id":"run-7","install_flow_id":"F-1",)"
        R"("launch_trigger":"sideways","web_utm_source":"news"})",
        "4321", "run-7");
    sender.hold();
    PostHogMetrics client(configuration(), options(), testPlatform(log));
    MetricsEvent opened;
    opened.name = "app_opened";
    opened.properties["install_flow_id"] = std::string("kept-by-caller");
    client.capture(opened);
    MetricsEvent ready;
    ready.name = "app_ready";
    client.capture(ready);

    // "app_ready" is durable: it is in the outbox at once, under the client's distinct id.
    Inspector db(outboxFile);
    ASSERT_EQ(db.rows(), 1);
    const auto stored = nlohmann::json::parse(db.text("SELECT body FROM events"))["batch"][0];
    EXPECT_EQ(stored["event"], "app_ready");
    EXPECT_EQ(stored["properties"]["distinct_id"], "anon_platform-id");
    EXPECT_EQ(stored["properties"]["app_run_id"], "run-7");
    EXPECT_EQ(stored["properties"]["install_flow_id"], "F-1");
    EXPECT_EQ(stored["properties"]["launch_trigger"], "unknown");
    EXPECT_EQ(stored["properties"]["web_utm_source"], "news");
    EXPECT_EQ(stored["properties"]["installation_id"], InstallationId);
    EXPECT_EQ(stored["properties"]["source"], "application");

    sender.releaseAll();
    EXPECT_TRUE(client.flush(10000));
    const auto events = eventsOf(sender.bodies());
    const auto memory =
        std::find_if(events.begin(), events.end(), [](const auto& e) { return e["event"] == "app_opened"; });
    ASSERT_NE(memory, events.end());
    // The caller's value wins over the context.
    EXPECT_EQ((*memory)["properties"]["install_flow_id"], "kept-by-caller");
    EXPECT_EQ((*memory)["properties"]["app_run_id"], "run-7");
    EXPECT_EQ((*memory)["properties"]["launch_trigger"], "unknown");
    EXPECT_EQ((*memory)["properties"]["cpu_arch"], "x64");
    EXPECT_EQ((*memory)["properties"]["web_utm_source"], "news")
        << "a lifecycle event keeps the context keys";
    EXPECT_EQ((*memory)["properties"]["app_name"], "Ardenwick");
}

TEST_F(MetricsTest, AMismatchedLauncherPidLeavesTheContextEmpty) {
    const InstallContextEnvironment environment(
        R"({"schemaVersion":1,"launcherPid":4321,"app_run_id":"run-7","install_flow_id":"F-1"})", "4322",
        "run-7");
    sender.hold();
    PostHogMetrics client(configuration(), options(), testPlatform(log));
    MetricsEvent ready;
    ready.name = "app_ready";
    client.capture(ready);
    Inspector db(outboxFile);
    const auto stored = nlohmann::json::parse(db.text("SELECT body FROM events"))["batch"][0]["properties"];
    EXPECT_FALSE(stored.contains("install_flow_id"));
    EXPECT_FALSE(stored.contains("app_run_id"));
    EXPECT_EQ(stored["launch_trigger"], "unknown");
    sender.releaseAll();
}

} // namespace
} // namespace ardenwick
