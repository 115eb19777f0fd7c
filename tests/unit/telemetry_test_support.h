#pragma once

#include "telemetry/event_timestamp.h"
#include "telemetry/posthog_metrics.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

namespace ardenwick::testing {

/// A fresh directory under the system temp folder, removed with everything in it.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("ardenwick-telemetry-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

/// Starts the outbox helpers' race: waits until `helpers` of them have opened the outbox (each leaves
/// "<start>.ready-<id>"), then creates `start`. False when they were not all ready within a minute; the
/// start file is made all the same, so that no helper waits for ever.
inline bool startWhenReady(const std::filesystem::path& start, int helpers) {
    const std::string readyPrefix = start.filename().string() + ".ready-";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    bool allReady = false;
    while (!allReady && std::chrono::steady_clock::now() < deadline) {
        int ready = 0;
        for (const auto& entry : std::filesystem::directory_iterator(start.parent_path())) {
            ready += entry.path().filename().string().rfind(readyPrefix, 0) == 0 ? 1 : 0;
        }
        allReady = ready >= helpers;
        if (!allReady) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::ofstream(start) << "go";
    return allReady;
}

/// A second, independent connection to an outbox file for looking at what is stored.
class Inspector {
public:
    explicit Inspector(const std::filesystem::path& file) {
        if (sqlite3_open16(file.u16string().c_str(), &db_) != SQLITE_OK) {
            throw std::runtime_error("inspector open");
        }
        sqlite3_busy_timeout(db_, 5000);
    }
    Inspector(const Inspector&) = delete;
    Inspector& operator=(const Inspector&) = delete;
    ~Inspector() { sqlite3_close(db_); }

    [[nodiscard]] std::int64_t integer(const std::string& sql) const {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            throw std::runtime_error("inspector prepare: " + sql);
        }
        std::int64_t value = -1;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            value = sqlite3_column_int64(statement, 0);
        }
        sqlite3_finalize(statement);
        return value;
    }
    [[nodiscard]] std::string text(const std::string& sql) const {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            throw std::runtime_error("inspector prepare: " + sql);
        }
        std::string value = "<no row>";
        if (sqlite3_step(statement) == SQLITE_ROW) {
            const auto* data = sqlite3_column_text(statement, 0);
            value = data == nullptr ? "<null>" : reinterpret_cast<const char*>(data);
        }
        sqlite3_finalize(statement);
        return value;
    }
    void exec(const std::string& sql) const {
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error("inspector exec: " + sql);
        }
    }
    [[nodiscard]] std::int64_t discarded() const {
        return integer("SELECT count FROM diagnostics WHERE name='discarded'");
    }
    [[nodiscard]] std::int64_t rows() const { return integer("SELECT COUNT(*) FROM events"); }

private:
    sqlite3* db_ = nullptr;
};

/// Overwrites the root page of the events table's uuid index, which only an append reads: the file still
/// opens, and the next append finds it damaged. The file must not be open.
inline void damageIndexOfEvents(const std::filesystem::path& file) {
    std::int64_t page = 0;
    std::int64_t pageSize = 0;
    {
        const Inspector db(file);
        page = db.integer("SELECT rootpage FROM sqlite_master WHERE name='sqlite_autoindex_events_1'");
        pageSize = db.integer("PRAGMA page_size");
    }
    std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
    stream.seekp((page - 1) * pageSize);
    const std::string noise(static_cast<std::size_t>(pageSize), '\xff');
    stream.write(noise.data(), static_cast<std::streamsize>(noise.size()));
    if (page < 2 || !stream) {
        throw std::runtime_error("cannot damage the events index");
    }
}

/// `rows` events due at `now`, named "r000", "r001"..., for tests where several processes lease them.
inline void insertDueRows(const Inspector& db, int rows, std::int64_t now) {
    db.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<" +
            std::to_string(rows - 1) +
            ") INSERT INTO events(uuid,body,created,next) SELECT printf('r%03d',i),'b'," +
            std::to_string(now) + "," + std::to_string(now) + " FROM n");
}

/// Bootstrapper events whose "status" is "e<first>" to "e<last>", recorded one after another.
inline void recordNumbered(PostHogMetrics& client, int first, int last) {
    for (int i = first; i <= last; ++i) {
        MetricsEvent e;
        e.name = "bootstrapper_started";
        e.occurredAt = currentEventTicks();
        e.properties["status"] = "e" + std::to_string(i);
        client.recordDurable(e, "anon_ok");
    }
}

} // namespace ardenwick::testing
