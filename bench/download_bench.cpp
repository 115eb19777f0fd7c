// Prints the figures of one installer download or one file hash, for bench/download-throughput.
//   download_bench download <url> <destination>
//   download_bench hash <file>
//   download_bench read <url>      (the transport alone: reads the body and discards it)
//   download_bench bare <url>      (the platform's limit: plain WinHTTP calls, the same 128 KiB reads)
//   download_bench bare-hash <file>  (the platform's limit: plain ReadFile and BCrypt SHA-256 calls)
//   download_bench verify <file>   (what "Checking your download..." waits for: signature, signer, versions)
#include "common/installation_diagnostic_error.h"
#include "common/unique_handle.h"
#include "common/win32_file.h"
#include "download/file_hash.h"
#include "download/http_client.h"
#include "download/installer_download.h"
#include "download/installer_metadata.h"
#include "download/signature_verification.h"

#include <windows.h>

#include <bcrypt.h>
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

/// SHA-256 of a file with nothing but ReadFile into one 128 KiB buffer and the BCrypt calls: what the
/// platform itself gives, to tell our hashing's cost from Wine's. Returns the bytes hashed.
std::uint64_t bareBcryptSha256(const wchar_t* path) {
    const ardenwick::UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!file || BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
        throw std::runtime_error("bare SHA-256 set-up failed");
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> buffer(131072);
    std::uint64_t total = 0;
    bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    DWORD read = 0;
    while (ok && ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
           read != 0) {
        ok = BCryptHashData(hash, buffer.data(), read, 0) >= 0;
        total += read;
    }
    UCHAR digest[32]{};
    ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) {
        throw std::runtime_error("bare SHA-256 failed");
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
            // A bare wchar_t* would convert to the HANDLE overload, not to a path.
            const std::string digest = ardenwick::sha256FileHex(ardenwick::WidePath(argv[2]), {});
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
        if (argc == 3 && std::wstring(argv[1]) == L"bare-hash") {
            const auto start = std::chrono::steady_clock::now();
            const std::uint64_t total = bareBcryptSha256(argv[2]);
            std::printf("bytes %llu seconds %.3f\n", static_cast<unsigned long long>(total),
                        secondsSince(start));
            return 0;
        }
        if (argc == 3 && std::wstring(argv[1]) == L"verify") {
            // The steps of the attempt between the rename and the installer's start, timed apart.
            const auto start = std::chrono::steady_clock::now();
            ardenwick::verifySignedArtifact(argv[2]);
            const double signature = secondsSince(start);
            ardenwick::InstallerVersions versions;
            ardenwick::checkInstallerMetadata(argv[2], versions);
            std::printf("signature_seconds %.3f seconds %.3f version %s\n", signature, secondsSince(start),
                        versions.productVersion.c_str());
            return 0;
        }
        std::fprintf(stderr,
                     "usage: download_bench download <url> <destination> | hash <file> | read <url> | "
                     "bare <url> | bare-hash <file> | verify <file>\n");
        return 2;
    } catch (const ardenwick::InstallationDiagnosticError& error) {
        std::fprintf(stderr, "download_bench: %s win32_error %u downloaded_bytes %llu\n",
                     error.operation.c_str(), error.win32Error.value_or(0),
                     static_cast<unsigned long long>(error.downloadedBytes.value_or(0)));
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download_bench: %s\n", error.what());
        return 1;
    }
}
