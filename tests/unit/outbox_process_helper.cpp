// A second process for the outbox tests. Modes:
//   lease  <db> <now> <start-file>: opens the outbox, says so with a file "<start-file>.ready-<uuid>",
//                                   waits for start-file, leases rows until none is left, prints
//                                   "<uuid> <lease id>" per row.
//   append <db> <first>           : appends rows "row-<n>" from n = first on, printing each uuid once
//                                   its transaction has committed, until killed.
//   hold   <db> <ms> <ready-file> : holds the outbox's write lock for ms milliseconds, as another process
//                                   of the product in a long transaction, saying so with ready-file.
#include "telemetry/installation_outbox.h"
#include "telemetry/posthog_metrics.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Unbuffered, so that a line the parent sees is a row that has been committed.
void writeLine(const std::string& line) {
    const std::string text = line + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        std::_Exit(3);
    }
}

// A busy outbox waits BusyTimeoutMilliseconds before it fails; so many failures in a row are no longer
// another process's transaction on a loaded machine but a real fault, which must end the helper.
constexpr int MaximumConsecutiveFailures = 20;

/// Counts the failures of one operation in a row; ends the process with 4 when there are too many.
class FailureBudget {
public:
    void failed(const std::runtime_error& error) {
        if (++consecutive_ >= MaximumConsecutiveFailures) {
            std::fprintf(stderr, "outbox_process_helper: %s failed %d times in a row\n", error.what(),
                         consecutive_);
            std::_Exit(4);
        }
    }
    void succeeded() { consecutive_ = 0; }

private:
    int consecutive_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "hold" && argc == 5) {
        sqlite3* db = nullptr;
        if (sqlite3_open(argv[2], &db) != SQLITE_OK ||
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            return 3;
        }
        std::ofstream(argv[4]) << "held";
        std::this_thread::sleep_for(std::chrono::milliseconds(std::stoll(argv[3])));
        const int committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return committed == SQLITE_OK ? 0 : 3;
    }
    ardenwick::InstallationOutbox outbox{std::filesystem::path(argv[2])};
    if (mode == "lease" && argc == 5) {
        const std::int64_t now = std::stoll(argv[3]);
        const std::string ownId = ardenwick::newUuidV4();
        // Both processes hold the outbox open before either leases, so the leases really race and no
        // process's opening has to wait out the other's run of write transactions.
        std::ofstream(std::string(argv[4]) + ".ready-" + ownId) << "ready";
        while (!std::filesystem::exists(argv[4])) {
            std::this_thread::yield();
        }
        const std::string prefix = "lease-" + ownId + "-";
        FailureBudget budget;
        for (int n = 0;; ++n) {
            std::optional<ardenwick::OutboxLease> lease;
            try {
                lease = outbox.leaseNext(prefix + std::to_string(n), now);
                budget.succeeded();
            } catch (const std::runtime_error& error) {
                // Busy for longer than the timeout on a loaded machine: try again, as the sender does.
                budget.failed(error);
                continue;
            }
            if (!lease) {
                return 0;
            }
            writeLine(lease->uuid + " " + lease->leaseId);
        }
    }
    if (mode == "append") {
        FailureBudget budget;
        for (long long n = std::stoll(argv[3]);; ++n) {
            const std::string uuid = "row-" + std::to_string(n);
            try {
                outbox.append(uuid, "{\"n\":" + std::to_string(n) + "}", 1'800'000'000 + n);
                budget.succeeded();
            } catch (const std::runtime_error& error) {
                budget.failed(error);
                continue;
            }
            writeLine(uuid);
        }
    }
    return 2;
}
