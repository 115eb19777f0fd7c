// Prints the figures of one installer download or one file hash, for bench/download-throughput.
//   download_bench download <url> <destination>
//   download_bench hash <file>
//   download_bench read <url>      (the transport alone: reads the body and discards it)
#include "download/file_hash.h"
#include "download/http_client.h"
#include "download/installer_download.h"

#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <memory>
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

} // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc == 4 && std::wstring(argv[1]) == L"download") {
            const std::uint64_t before = peakWorkingSet();
            const auto start = std::chrono::steady_clock::now();
            const auto result = ardenwick::downloadInstaller(argv[2], argv[3], 536870912,
                                                             std::make_unique<SilentCallback>(), {});
            const double seconds = secondsSince(start);
            const auto bytes = std::filesystem::file_size(argv[3]);
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
        std::fprintf(stderr,
                     "usage: download_bench download <url> <destination> | hash <file> | read <url>\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download_bench: %s\n", error.what());
        return 1;
    }
}
