#pragma once

// Access for Wine tests to the loopback release server that tools/release-server/with-server runs for
// them: its base URL, the source payloads and the log of every request it received.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ardenwick::testing {

struct LoggedRequest {
    std::string path;   // without the query
    std::string target; // as sent, query included
    std::size_t index = 0;
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;

    /// The value of a header (name compared without regard to case), or nothing when it was not sent.
    [[nodiscard]] std::optional<std::string> header(std::string_view name) const;
};

class ReleaseServer {
public:
    /// Reads the environment given by with-server; empty optional when the server is not running.
    [[nodiscard]] static std::optional<ReleaseServer> fromEnvironment();

    [[nodiscard]] const std::wstring& baseUrl() const noexcept { return baseUrl_; }
    [[nodiscard]] const std::wstring& port() const noexcept { return port_; }
    /// A path of the scenario that no other test uses, so its request counter starts at 0.
    [[nodiscard]] std::string uniquePath(const std::string& scenario) const;
    [[nodiscard]] std::filesystem::path payloadPath(const std::string& payload) const;
    /// SHA-256 of a payload as computed by the server when it wrote it (an independent implementation).
    [[nodiscard]] std::string payloadSha256(const std::string& payload) const;
    /// Makes `scenario` answer the "/s/current/" paths, from its first response on: the endpoint of a
    /// program built for these tests. Returns false when the server refused.
    [[nodiscard]] bool chooseCurrentScenario(const std::string& scenario) const;
    /// Every logged request whose path (query removed) is `path`, in arrival order.
    [[nodiscard]] std::vector<LoggedRequest> requestsFor(const std::string& path) const;

private:
    std::wstring baseUrl_;
    std::wstring port_;
    std::filesystem::path root_;
};

/// A directory under the temporary directory removed with everything in it at the end of the scope.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory();
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

[[nodiscard]] std::string readFileBytes(const std::filesystem::path& path);

} // namespace ardenwick::testing
