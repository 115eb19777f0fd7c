// Several real processes on one outbox file (POSIX processes; the Wine build has its own).
#include "telemetry/installation_outbox.h"

#include "telemetry_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ardenwick {
namespace {

using testing::insertDueRows;
using testing::Inspector;
using testing::TemporaryDirectory;

std::filesystem::path helperPath() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "outbox_process_helper";
}

/// A helper process whose standard output is a pipe to this one.
class Helper {
public:
    explicit Helper(std::vector<std::string> arguments) {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        const std::string program = helperPath().string();
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        const int result = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        output_ = fds[0];
        if (result != 0) {
            ::close(output_);
            throw std::runtime_error("posix_spawn " + program);
        }
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    ~Helper() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(output_);
    }

    /// Reads one line; false at the end of the output.
    bool readLine(std::string& line) {
        line.clear();
        char c = 0;
        while (true) {
            const ssize_t n = ::read(output_, &c, 1);
            if (n <= 0) {
                return false;
            }
            if (c == '\n') {
                return true;
            }
            line.push_back(c);
        }
    }
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

TEST(OutboxProcesses, TwoProcessesLeasingAtOnceNeverGetTheSameRow) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "shared.db";
    const std::int64_t now = 1'800'000'000;
    constexpr int Rows = 300;
    {
        InstallationOutbox outbox(file);
        Inspector db(file);
        insertDueRows(db, Rows, now);
    }
    const auto start = directory.path() / "go";
    Helper first({"lease", file.string(), std::to_string(now), start.string()});
    Helper second({"lease", file.string(), std::to_string(now), start.string()});
    EXPECT_TRUE(testing::startWhenReady(start, 2)) << "the helpers never opened the outbox";

    std::map<std::string, std::string> leaseOf;
    std::map<std::string, int> times;
    for (Helper* helper : {&first, &second}) {
        std::string line;
        while (helper->readLine(line)) {
            std::istringstream fields(line);
            std::string uuid, lease;
            fields >> uuid >> lease;
            ++times[uuid];
            leaseOf[uuid] = lease;
        }
        const int status = helper->wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(times.size(), static_cast<std::size_t>(Rows));
    for (const auto& [uuid, count] : times) {
        EXPECT_EQ(count, 1) << uuid;
    }
    // The file agrees: every row is held by the lease its process reported, taken once.
    Inspector db(file);
    EXPECT_EQ(
        db.integer("SELECT COUNT(*) FROM events WHERE attempts=1 AND until=" + std::to_string(now + 60)),
        Rows);
    for (const auto& [uuid, lease] : leaseOf) {
        EXPECT_EQ(db.text("SELECT lease FROM events WHERE uuid='" + uuid + "'"), lease);
    }
}

TEST(OutboxProcesses, AProcessKilledWhileAppendingLosesNoCommittedRow) {
    TemporaryDirectory directory;
    const auto file = directory.path() / "killed.db";
    std::vector<std::string> committed;
    for (int round = 0; round < 3; ++round) {
        Helper writer({"append", file.string(), std::to_string(round * 100000)});
        std::string line;
        // Kill it at a different point of its write each round.
        for (int i = 0; i < 40 + round * 7 && writer.readLine(line); ++i) {
            committed.push_back(line);
        }
        writer.kill();
    }
    ASSERT_EQ(committed.size(), 40u + 47u + 54u);
    Inspector db(file);
    EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
    for (const auto& uuid : committed) {
        EXPECT_EQ(db.integer("SELECT COUNT(*) FROM events WHERE uuid='" + uuid + "'"), 1) << uuid;
    }
    // The file is still usable by a new process.
    InstallationOutbox outbox(file);
    outbox.append("after", "x", 1'800'000'000);
    EXPECT_GE(db.rows(), static_cast<std::int64_t>(committed.size()) + 1);
}

} // namespace
} // namespace ardenwick
