// Outbox throughput figures (not a test): events per second through recordDurable into the outbox
// (WAL, synchronous FULL), plain SQLite inserts of the same bodies in one transaction each, the time
// the sender needs to drain 1000 rows through an instant batch sender, and the file size after 1000
// appends.
#include "telemetry/event_timestamp.h"
#include "telemetry/installation_outbox.h"
#include "telemetry/posthog_metrics.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

using namespace ardenwick;
using Clock = std::chrono::steady_clock;

namespace {

MetricsPlatform benchPlatform() {
    MetricsPlatform platform;
    platform.analyticsDistinctId = [] { return std::string("anon_bench"); };
    platform.installationIdentity = [](const std::string&) { return std::string(); };
    platform.persistDistinctId = [](const std::string&) {};
    platform.defaultOutboxPath = [](const std::string&) { return std::optional<std::filesystem::path>(); };
    platform.postBatch = [](const BatchEndpoint&, const std::string&) { return DeliveryResult::Delivered; };
    platform.nativeArchitecture = [] { return std::string("x64"); };
    platform.osVersionText = [] { return std::string("10.0.22631"); };
    platform.idleWait = std::chrono::milliseconds(5);
    return platform;
}

MetricsConfiguration benchConfiguration() {
    MetricsConfiguration c;
    c.apiKey = "phc_bench";
    c.host = "https://analytics.example";
    c.environment = "prod";
    c.installationNamespace = "ardenwick-windows";
    return c;
}

MetricsEvent sampleEvent() {
    MetricsEvent event;
    event.name = "installer_download_result";
    event.occurredAt = currentEventTicks();
    event.properties = {{"source", std::string("bootstrapper")},
                        {"result", std::string("success")},
                        {"duration_ms", std::int64_t{4210}},
                        {"downloaded_bytes", std::int64_t{187654321}},
                        {"install_flow_id", std::string("6F9619FF-8B86-D011-B42D-00CF4FC964FF")},
                        {"attempt_id", std::string("0C1D2A3B-4C5D-4E6F-8A9B-0C1D2A3B4C5D")}};
    return event;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int events = argc > 1 ? std::stoi(argv[1]) : 1000;
    std::random_device random;
    const auto directory =
        std::filesystem::temp_directory_path() / ("ardenwick-bench-" + std::to_string(random()));
    std::filesystem::create_directories(directory);
    const auto outboxFile = directory / "outbox.db";

    // 1. recordDurable, with delivery held back so only the appends are measured.
    std::atomic<bool> hold{true};
    std::string body;
    {
        MetricsOptions options;
        options.outboxPath = outboxFile;
        options.batchSender = [&hold](const std::string&) {
            while (hold) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return true;
        };
        PostHogMetrics client(benchConfiguration(), options, benchPlatform());
        const auto start = Clock::now();
        for (int i = 0; i < events; ++i) {
            client.recordDurable(sampleEvent(), "anon_bench");
        }
        const double elapsed = seconds(Clock::now() - start);
        std::printf("recordDurable into the outbox: %d events in %.3f s, %.0f events/s\n", events, elapsed,
                    events / elapsed);
        std::printf("outbox file after %d appends: %lld bytes (+ %lld bytes of WAL)\n", events,
                    static_cast<long long>(std::filesystem::file_size(outboxFile)),
                    std::filesystem::exists(outboxFile.string() + "-wal")
                        ? static_cast<long long>(std::filesystem::file_size(outboxFile.string() + "-wal"))
                        : 0LL);
        {
            // One stored body for the plain inserts below; the row is taken out so it does not wait.
            InstallationOutbox reader(outboxFile);
            const auto now = currentUnixSeconds() + 120;
            const auto lease = reader.leaseNext("bench-peek", now);
            body = lease ? lease->body : std::string(600, 'x');
            if (lease) {
                reader.release(*lease, true, false, now);
            }
        }

        // 2. The sender draining what was stored through an instant batch sender.
        hold = false;
        const auto drainStart = Clock::now();
        const bool drained = client.flush(600000);
        std::printf("sender drained %d rows (instant batch sender): %.3f s%s\n", events - 1,
                    seconds(Clock::now() - drainStart), drained ? "" : " (limit reached)");
    }

    // 3. Plain SQLite inserts of the same body, one transaction each, in both journal settings.
    for (const char* pragmas : {"PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;",
                                "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;"}) {
        const auto plainFile = directory / ("plain-" + std::to_string(random()) + ".db");
        sqlite3* db = nullptr;
        sqlite3_open(plainFile.string().c_str(), &db);
        sqlite3_exec(db, pragmas, nullptr, nullptr, nullptr);
        sqlite3_exec(db, "CREATE TABLE t(uuid TEXT PRIMARY KEY, body TEXT)", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?)", -1, &insert, nullptr);
        const auto start = Clock::now();
        for (int i = 0; i < events; ++i) {
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            const std::string uuid = newUuidV4();
            sqlite3_bind_text(insert, 1, uuid.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, body.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        const double elapsed = seconds(Clock::now() - start);
        sqlite3_finalize(insert);
        sqlite3_close(db);
        std::printf("plain SQLite inserts (%s): %d rows in %.3f s, %.0f rows/s\n", pragmas, events, elapsed,
                    events / elapsed);
    }
    std::printf("body size of one stored event: %zu bytes\n", body.size());
    std::filesystem::remove_all(directory);
    return 0;
}
