#include "release_server_fixture.h"

#include "download/http_client.h"
#include "support/host_path.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ardenwick::testing {
namespace {

std::optional<std::wstring> environmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length);
    return value;
}

char lower(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

bool equalIgnoringCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (lower(left[i]) != lower(right[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ReleaseServer::chooseCurrentScenario(const std::string& scenario) const {
    const HttpResponse response =
        openHttpGet(baseUrl_ + L"/control/current?scenario=" + std::wstring(scenario.begin(), scenario.end()),
                    L"", 10000, 10000);
    return response.statusCode == 200;
}

std::optional<std::string> LoggedRequest::header(std::string_view name) const {
    for (const auto& [headerName, value] : headers) {
        if (equalIgnoringCase(headerName, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<ReleaseServer> ReleaseServer::fromEnvironment() {
    const auto url = environmentValue(L"ARDENWICK_RELEASE_SERVER_URL");
    const auto port = environmentValue(L"ARDENWICK_RELEASE_SERVER_PORT");
    const auto root = environmentValue(L"ARDENWICK_RELEASE_SERVER_ROOT");
    if (!url || !port || !root) {
        return std::nullopt;
    }
    ReleaseServer server;
    server.baseUrl_ = *url;
    server.port_ = *port;
    server.root_ = hostPath(*root);
    return server;
}

std::string ReleaseServer::uniquePath(const std::string& scenario) const {
    static std::atomic<unsigned> counter{0};
    std::ostringstream path;
    path << "/s/" << scenario << "/" << GetCurrentProcessId() << "-" << GetTickCount64() << "-" << ++counter
         << "/Ardenwick-FullSetup.exe";
    return path.str();
}

std::filesystem::path ReleaseServer::payloadPath(const std::string& payload) const {
    return root_ / "payloads" / (payload + ".bin");
}

std::string ReleaseServer::payloadSha256(const std::string& payload) const {
    return readFileBytes(root_ / "payloads" / (payload + ".sha256"));
}

std::vector<LoggedRequest> ReleaseServer::requestsFor(const std::string& path) const {
    std::ifstream log(root_ / "requests.jsonl", std::ios::binary);
    std::vector<LoggedRequest> requests;
    std::string line;
    while (std::getline(log, line)) {
        const auto entry = nlohmann::json::parse(line);
        if (entry.at("path").get<std::string>() != path) {
            continue;
        }
        LoggedRequest request;
        request.path = entry.at("path").get<std::string>();
        request.target = entry.at("target").get<std::string>();
        request.index = entry.at("index").is_number() ? entry.at("index").get<std::size_t>() : 0;
        request.status = entry.at("status").get<int>();
        for (const auto& header : entry.at("headers")) {
            request.headers.emplace_back(header.at(0).get<std::string>(), header.at(1).get<std::string>());
        }
        requests.push_back(std::move(request));
    }
    return requests;
}

TemporaryDirectory::TemporaryDirectory() {
    static std::atomic<unsigned> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            (L"ardenwick-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter));
    std::filesystem::create_directories(path_);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFileBytes(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot open " + path.string());
    }
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

} // namespace ardenwick::testing
