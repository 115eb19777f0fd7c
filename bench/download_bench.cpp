// Prints the figures of one installer download or one file hash, for bench/download-throughput.
//   download_bench download <url> <destination>
//   download_bench hash <file>
//   download_bench read <url>      (the transport alone: reads the body and discards it)
//   download_bench bare <url>      (the platform's limit: plain WinHTTP calls, the same 128 KiB reads)
#include "common/unique_handle.h"
#include "common/win32_file.h"
#include "download/file_hash.h"
#include "download/http_client.h"
#include "download/installer_download.h"

#include <windows.h>

#include <psapi.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

class SilentCallback final : public ardenwick::IInstallerDownloadCallback {
public:
    void onProgress(std::uint64_t, std::uint64_t) override {}
    void onRetry(const ardenwick::InstallationDiagnosticError&, std::uint32_t, std::uint32_t) override {}
};

std::uint64_t peakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize
                                                                                 : 0;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct InternetTraits {
    using pointer = HINTERNET;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { ::WinHttpCloseHandle(handle); }
};
using UniqueInternet = ardenwick::UniqueHandle<InternetTraits>;

/// GET with nothing but the WinHTTP calls every client makes, reading the body into one 128 KiB
/// buffer: what the platform itself gives, without our transport's checks and headers.
std::uint64_t bareWinHttpGet(const wchar_t* url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256]{};
    wchar_t path[2048]{};
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = static_cast<DWORD>(std::size(path));
    if (!WinHttpCrackUrl(url, 0, 0, &parts)) {
        throw std::runtime_error("WinHttpCrackUrl");
    }
    const UniqueInternet session(WinHttpOpen(L"ArdenwickBench/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    const UniqueInternet connection(session ? WinHttpConnect(session.get(), host, parts.nPort, 0) : nullptr);
    const UniqueInternet request(
        connection ? WinHttpOpenRequest(connection.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)
                   : nullptr);
    if (!request ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        throw std::runtime_error("bare WinHTTP request failed");
    }
    std::vector<char> buffer(131072);
    std::uint64_t total = 0;
    DWORD read = 0;
    while (WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read) &&
           read != 0) {
        total += read;
    }
    return total;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc == 4 && std::wstring(argv[1]) == L"download") {
            const std::uint64_t before = peakWorkingSet();
            const auto start = std::chrono::steady_clock::now();
            const auto result = ardenwick::downloadInstaller(argv[2], argv[3], 536870912,
                                                             std::make_unique<SilentCallback>(), {});
            const double seconds = secondsSince(start);
            const auto bytes = ardenwick::fileSize(argv[3]);
            std::printf(
                "status %u bytes %llu seconds %.3f peak_working_set_before %llu peak_working_set %llu\n",
                result.httpStatus, static_cast<unsigned long long>(bytes), seconds,
                static_cast<unsigned long long>(before), static_cast<unsigned long long>(peakWorkingSet()));
            return 0;
        }
        if (argc == 3 && std::wstring(argv[1]) == L"hash") {
            const auto start = std::chrono::steady_clock::now();
            const std::string digest = ardenwick::sha256FileHex(argv[2], {});
            std::printf("sha256 %s seconds %.3f\n", digest.c_str(), secondsSince(start));
            return 0;
        }
        if (argc == 3 && std::wstring(argv[1]) == L"read") {
            const auto start = std::chrono::steady_clock::now();
            const ardenwick::HttpResponse response = ardenwick::openHttpGet(argv[2], L"", 30000, 15000);
            std::vector<char> buffer(131072);
            std::uint64_t total = 0;
            DWORD read = 0;
            while (WinHttpReadData(response.request.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                   &read) &&
                   read != 0) {
                total += read;
            }
            std::printf("bytes %llu seconds %.3f\n", static_cast<unsigned long long>(total),
                        secondsSince(start));
            return 0;
        }
        if (argc == 3 && std::wstring(argv[1]) == L"bare") {
            const auto start = std::chrono::steady_clock::now();
            const std::uint64_t total = bareWinHttpGet(argv[2]);
            std::printf("bytes %llu seconds %.3f\n", static_cast<unsigned long long>(total),
                        secondsSince(start));
            return 0;
        }
        std::fprintf(stderr,
                     "usage: download_bench download <url> <destination> | hash <file> | read <url> | "
                     "bare <url>\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download_bench: %s\n", error.what());
        return 1;
    }
}
