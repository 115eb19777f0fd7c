#include "download/installer_download.h"

#include "common/text_conversion.h"
#include "download/file_hash.h"
#include "release_server_fixture.h"
#include "support/wine_host.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

namespace ardenwick {
namespace {

using testing::LoggedRequest;
using testing::ReleaseServer;
using testing::TemporaryDirectory;

constexpr std::uint64_t fileSize = 1048576;
constexpr std::uint64_t half = 524288;
constexpr std::uint64_t noLimit = 536870912;

struct RetryRecord {
    std::string operation;
    std::optional<std::uint32_t> httpStatus;
    std::optional<std::uint32_t> win32Error;
    std::optional<std::uint64_t> downloadedBytes;
    std::optional<std::uint64_t> totalBytes;
    std::optional<std::uint64_t> resumedBytes;
    std::uint32_t retryNumber = 0;
    std::uint32_t delayMs = 0;
};

// What the download reported, kept alive after the download has destroyed its callback.
struct Reports {
    std::mutex mutex;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::vector<RetryRecord> retries;
    std::function<void(std::uint32_t)> onRetryHook;
    std::function<void(std::uint64_t)> onProgressHook;
};

class RecordingCallback final : public IInstallerDownloadCallback {
public:
    explicit RecordingCallback(std::shared_ptr<Reports> reports) : reports_(std::move(reports)) {}
    void onProgress(std::uint64_t downloadedBytes, std::uint64_t totalBytes) override {
        {
            std::lock_guard lock(reports_->mutex);
            reports_->progress.emplace_back(downloadedBytes, totalBytes);
        }
        if (reports_->onProgressHook) {
            reports_->onProgressHook(downloadedBytes);
        }
    }
    void onRetry(const InstallationDiagnosticError& error, std::uint32_t retryNumber,
                 std::uint32_t delayMs) override {
        {
            std::lock_guard lock(reports_->mutex);
            reports_->retries.push_back(RetryRecord{error.operation, error.httpStatus, error.win32Error,
                                                    error.downloadedBytes, error.totalBytes,
                                                    error.resumedBytes, retryNumber, delayMs});
        }
        if (reports_->onRetryHook) {
            reports_->onRetryHook(retryNumber);
        }
    }

private:
    std::shared_ptr<Reports> reports_;
};

// Wine ends a body that stalls past the receive time-out with 10060 (WSAETIMEDOUT) where Windows reports
// 12002 (ERROR_WINHTTP_TIMEOUT). While a test holds WindowsReadTimeOuts, every read of this executable
// (linked with --wrap=WinHttpReadData) reports Windows' code for it, so the path a Windows user meets
// runs here on a real stall; on Windows the code is already 12002 and nothing changes.
std::atomic<bool> windowsReadTimeOuts{false};

struct WindowsReadTimeOuts {
    WindowsReadTimeOuts() { windowsReadTimeOuts = true; }
    ~WindowsReadTimeOuts() { windowsReadTimeOuts = false; }
    WindowsReadTimeOuts(const WindowsReadTimeOuts&) = delete;
    WindowsReadTimeOuts& operator=(const WindowsReadTimeOuts&) = delete;
};

} // namespace
} // namespace ardenwick

extern "C" BOOL WINAPI __real_WinHttpReadData(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD read);

extern "C" BOOL WINAPI __wrap_WinHttpReadData(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD read) {
    const BOOL ok = __real_WinHttpReadData(request, buffer, size, read);
    if (!ok && ardenwick::windowsReadTimeOuts && GetLastError() == WSAETIMEDOUT) {
        SetLastError(ERROR_WINHTTP_TIMEOUT);
    }
    return ok;
}

namespace ardenwick {
namespace {

// Waits between attempts last 1/100 of the schedule so the retry tests stay fast.
constexpr InstallerDownloadTimings fastRetries{30000, 15000, 100};

class InstallerDownload : public ::testing::Test {
protected:
    void SetUp() override {
        auto found = ReleaseServer::fromEnvironment();
        ASSERT_TRUE(found) << "run through tools/release-server/with-server";
        server_ = std::move(*found);
        destination_ = directory_.path() / L"attempt" / L"setup.partial";
        reports_ = std::make_shared<Reports>();
    }

    std::wstring urlFor(const std::string& path) const { return server_->baseUrl() + utf8ToWide(path); }

    InstallerDownloadResult download(const std::string& path, std::uint64_t sizeLimit = noLimit,
                                     InstallerDownloadTimings timings = fastRetries,
                                     std::stop_token stopToken = {}) {
        return downloadInstaller(urlFor(path), destination_, sizeLimit,
                                 std::make_unique<RecordingCallback>(reports_), stopToken, timings);
    }

    // Runs a download that must fail and returns its error.
    InstallationDiagnosticError failedDownload(const std::string& path, std::uint64_t sizeLimit = noLimit,
                                               InstallerDownloadTimings timings = fastRetries,
                                               std::stop_token stopToken = {}) {
        try {
            const InstallerDownloadResult result = download(path, sizeLimit, timings, stopToken);
            ADD_FAILURE() << "the download succeeded with status " << result.httpStatus;
        } catch (const InstallationDiagnosticError& error) {
            return error;
        }
        return InstallationDiagnosticError("no_error");
    }

    InstallationDiagnosticError failedDownloadOf(const std::wstring& url) {
        try {
            (void)downloadInstaller(url, destination_, noLimit, std::make_unique<RecordingCallback>(reports_),
                                    {}, fastRetries);
            ADD_FAILURE() << "the download succeeded";
        } catch (const InstallationDiagnosticError& error) {
            return error;
        }
        return InstallationDiagnosticError("no_error");
    }

    // Runs a scenario whose first response breaks off and checks that the second continues it.
    void checkResumeAfterBrokenConnection(const char* scenario);

    std::string destinationSha256() const { return sha256FileHex(destination_, {}); }

    std::optional<ReleaseServer> server_;
    TemporaryDirectory directory_;
    std::filesystem::path destination_;
    std::shared_ptr<Reports> reports_;
};

// Under Windows a dropped connection fails the read with 12030; Wine ends the body with 0 bytes and the
// length check names the short body instead. Both are retried.
void expectBrokenBody(const RetryRecord& retry) {
    if (retry.operation == "http_read") {
        EXPECT_EQ(retry.win32Error, 12030u);
    } else {
        EXPECT_EQ(retry.operation, "download_size_mismatch");
        EXPECT_FALSE(retry.win32Error);
    }
    EXPECT_TRUE(retry.downloadedBytes);
    EXPECT_EQ(retry.totalBytes, fileSize);
    EXPECT_EQ(retry.resumedBytes, 0u);
    EXPECT_EQ(retry.httpStatus, 200u);
    EXPECT_EQ(retry.retryNumber, 1u);
    EXPECT_EQ(retry.delayMs, 2000u);
}

void expectWholeFileRequest(const LoggedRequest& request) {
    EXPECT_EQ(request.header("Accept-Encoding"), "identity");
    EXPECT_FALSE(request.header("Range"));
    EXPECT_FALSE(request.header("If-Range"));
    EXPECT_EQ(request.header("User-Agent"), "ArdenwickLauncher/1.0");
}

TEST_F(InstallerDownload, WholeFileInOneRequest) {
    const std::string path = server_->uniquePath("whole");
    const InstallerDownloadResult result = download(path);
    EXPECT_EQ(result.httpStatus, 200u);
    EXPECT_EQ(result.resumedBytes, 0u);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
    EXPECT_TRUE(reports_->retries.empty());
    ASSERT_FALSE(reports_->progress.empty());
    EXPECT_EQ(reports_->progress.front(), std::make_pair(std::uint64_t{0}, fileSize));
    EXPECT_EQ(reports_->progress.back(), std::make_pair(fileSize, fileSize));
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 1u);
    expectWholeFileRequest(requests[0]);
}

constexpr const char* droppedConnectionSkip =
    "Windows only: Wine's WinHttpReadData does not report a dropped connection as 12030 (a closed body ends "
    "with 0 bytes, a reset gives 10054)";

TEST_F(InstallerDownload, ResumesWithIfRangeAfterDroppedConnection) {
    // The server closes the connection gracefully after exactly half the file.
    checkResumeAfterBrokenConnection("cut_strong");
}

TEST_F(InstallerDownload, ResumesWithIfRangeAfterConnectionReset) {
    if (testing::runningUnderWine()) {
        RecordProperty("skip_reason", droppedConnectionSkip);
        GTEST_SKIP() << droppedConnectionSkip;
    }
    checkResumeAfterBrokenConnection("reset_strong");
}

void InstallerDownload::checkResumeAfterBrokenConnection(const char* scenario) {
    const std::string path = server_->uniquePath(scenario);
    const InstallerDownloadResult result = download(path);
    ASSERT_EQ(reports_->retries.size(), 1u);
    const RetryRecord& broken = reports_->retries[0];
    expectBrokenBody(broken);
    ASSERT_TRUE(broken.downloadedBytes);
    const std::uint64_t resumedAt = *broken.downloadedBytes;
    if (std::string(scenario) == "cut_strong") {
        EXPECT_EQ(resumedAt, half);
    }
    ASSERT_GT(resumedAt, 0u);
    ASSERT_LE(resumedAt, half);

    EXPECT_EQ(result.httpStatus, 206u);
    EXPECT_EQ(result.resumedBytes, resumedAt);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
    // The continuation starts by reporting the bytes already on disk.
    const auto resumed =
        std::find(reports_->progress.begin(), reports_->progress.end(), std::make_pair(resumedAt, fileSize));
    EXPECT_NE(resumed, reports_->progress.end());
    EXPECT_EQ(reports_->progress.back(), std::make_pair(fileSize, fileSize));

    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 2u);
    expectWholeFileRequest(requests[0]);
    EXPECT_EQ(requests[1].header("Accept-Encoding"), "identity");
    EXPECT_EQ(requests[1].header("Range"), "bytes=" + std::to_string(resumedAt) + "-");
    EXPECT_EQ(requests[1].header("If-Range"), "\"v1\"");
    EXPECT_EQ(requests[1].status, 206);
}

TEST_F(InstallerDownload, WeakEntityTagRestartsFromZero) {
    const std::string path = server_->uniquePath("cut_weak");
    const InstallerDownloadResult result = download(path);
    EXPECT_EQ(result.httpStatus, 200u);
    EXPECT_EQ(result.resumedBytes, 0u);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
    ASSERT_EQ(reports_->retries.size(), 1u);
    expectBrokenBody(reports_->retries[0]);
    EXPECT_EQ(reports_->retries[0].downloadedBytes, half);
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 2u);
    expectWholeFileRequest(requests[0]);
    expectWholeFileRequest(requests[1]);
}

TEST_F(InstallerDownload, EntityTagBecomesTheValidatorOnlyWhenStrongAndWithALength) {
    const auto noProgress = [](std::uint64_t, std::uint64_t) {};
    DownloadResumeState state;
    EXPECT_THROW(downloadAttempt(urlFor(server_->uniquePath("cut_strong")), destination_, noLimit, noProgress,
                                 {}, 30000, state, 15000),
                 InstallationDiagnosticError);
    EXPECT_EQ(state.validator, L"\"v1\"");
    EXPECT_EQ(state.downloadedBytes, half);
    EXPECT_EQ(state.totalBytes, fileSize);
    EXPECT_EQ(state.lastStatus, 200u);
    EXPECT_EQ(downloadResumeOffset(state, noLimit), half);

    state.reset();
    EXPECT_THROW(downloadAttempt(urlFor(server_->uniquePath("cut_weak")), destination_, noLimit, noProgress,
                                 {}, 30000, state, 15000),
                 InstallationDiagnosticError);
    EXPECT_EQ(state.validator, L"");
    EXPECT_EQ(state.downloadedBytes, half);
    EXPECT_EQ(downloadResumeOffset(state, noLimit), 0u);

    // With a strong ETag but no Content-Length: the whole body arrives, but nothing could be resumed.
    state.reset();
    downloadAttempt(urlFor(server_->uniquePath("no_length")), destination_, noLimit, noProgress, {}, 30000,
                    state, 15000);
    EXPECT_EQ(state.validator, L"");
    EXPECT_EQ(state.totalBytes, 0u);
    EXPECT_EQ(state.downloadedBytes, fileSize);
    EXPECT_EQ(state.lastStatus, 200u);
    EXPECT_EQ(state.resumedBytes, 0u);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
}

TEST_F(InstallerDownload, WithoutContentLengthABrokenBodyRestartsFromZero) {
    if (testing::runningUnderWine()) {
        RecordProperty("skip_reason", droppedConnectionSkip);
        GTEST_SKIP() << droppedConnectionSkip;
    }
    const std::string path = server_->uniquePath("chunked_cut_no_length");
    const InstallerDownloadResult result = download(path);
    EXPECT_EQ(result.httpStatus, 200u);
    EXPECT_EQ(result.resumedBytes, 0u);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
    ASSERT_EQ(reports_->retries.size(), 1u);
    EXPECT_EQ(reports_->retries[0].operation, "http_read");
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 2u);
    expectWholeFileRequest(requests[1]);
}

TEST_F(InstallerDownload, StalledBodyEndsTheAttemptAtTheReceiveTimeout) {
    DownloadResumeState state;
    try {
        downloadAttempt(
            urlFor(server_->uniquePath("stall_no_length")), destination_, noLimit,
            [](std::uint64_t, std::uint64_t) {}, {}, 1000, state, 15000);
        ADD_FAILURE() << "the stalled body was taken as complete";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "http_read");
        EXPECT_TRUE(error.win32Error);
        EXPECT_EQ(error.downloadedBytes, half);
        EXPECT_EQ(error.totalBytes, 0u);
        EXPECT_EQ(error.httpStatus, 200u);
    }
}

// A body that stalls past the receive time-out fails its read with 12002 on Windows: the download tries
// again and continues the file from the bytes it already has.
TEST_F(InstallerDownload, ReadTimeOutOnTheBodyIsRetriedWithResume) {
    const WindowsReadTimeOuts windowsCodes;
    const std::string path = server_->uniquePath("stall_strong");
    const InstallerDownloadResult result = download(path, noLimit, {1000, 15000, 100});
    ASSERT_EQ(reports_->retries.size(), 1u);
    const RetryRecord& timeOut = reports_->retries[0];
    EXPECT_EQ(timeOut.operation, "http_read");
    EXPECT_EQ(timeOut.win32Error, 12002u);
    EXPECT_EQ(timeOut.downloadedBytes, half);
    EXPECT_EQ(timeOut.totalBytes, fileSize);
    EXPECT_EQ(timeOut.httpStatus, 200u);
    EXPECT_EQ(timeOut.retryNumber, 1u);

    EXPECT_EQ(result.httpStatus, 206u);
    EXPECT_EQ(result.resumedBytes, half);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=" + std::to_string(half) + "-");
    EXPECT_EQ(requests[1].header("If-Range"), "\"v1\"");
    EXPECT_EQ(requests[1].status, 206);
}

TEST_F(InstallerDownload, WholeBodyToARangeRequestTruncatesAndStartsOver) {
    const std::string path = server_->uniquePath("cut_range_ignored");
    const InstallerDownloadResult result = download(path);
    EXPECT_EQ(result.httpStatus, 200u);
    EXPECT_EQ(result.resumedBytes, 0u);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
    EXPECT_EQ(std::filesystem::file_size(destination_), fileSize);
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=524288-");
    EXPECT_EQ(requests[1].status, 200);
}

TEST_F(InstallerDownload, ChangedEntityIsDownloadedWhole) {
    const std::string path = server_->uniquePath("cut_entity_changed");
    const InstallerDownloadResult result = download(path);
    EXPECT_EQ(result.httpStatus, 200u);
    EXPECT_EQ(result.resumedBytes, 0u);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer_v2"));
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("If-Range"), "\"v1\"");
}

TEST_F(InstallerDownload, RangeNotSatisfiableResetsAndStartsOver) {
    const std::string path = server_->uniquePath("cut_416");
    const InstallerDownloadResult result = download(path);
    EXPECT_EQ(result.httpStatus, 200u);
    EXPECT_EQ(result.resumedBytes, 0u);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));

    ASSERT_EQ(reports_->retries.size(), 2u);
    const RetryRecord& rejected = reports_->retries[1];
    EXPECT_EQ(rejected.operation, "download_resume_rejected");
    EXPECT_EQ(rejected.httpStatus, 416u);
    EXPECT_FALSE(rejected.win32Error);
    EXPECT_EQ(rejected.downloadedBytes, 0u);
    EXPECT_EQ(rejected.totalBytes, 0u);
    EXPECT_EQ(rejected.resumedBytes, 0u);
    EXPECT_EQ(rejected.retryNumber, 2u);
    EXPECT_EQ(rejected.delayMs, 5000u);

    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=524288-");
    expectWholeFileRequest(requests[2]);
}

TEST_F(InstallerDownload, RejectsAContinuationThatDoesNotFit) {
    for (const char* scenario : {"cut_206_short_end", "cut_206_other_total", "cut_206_asterisk",
                                 "cut_206_etag_changed", "cut_206_missing_range", "cut_206_length"}) {
        SCOPED_TRACE(scenario);
        reports_ = std::make_shared<Reports>();
        const std::string path = server_->uniquePath(scenario);
        const InstallerDownloadResult result = download(path);
        // The third attempt starts over and gets the whole file.
        EXPECT_EQ(result.httpStatus, 200u);
        EXPECT_EQ(result.resumedBytes, 0u);
        EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
        ASSERT_EQ(reports_->retries.size(), 2u);
        EXPECT_EQ(reports_->retries[1].operation, "download_resume_rejected");
        EXPECT_EQ(reports_->retries[1].httpStatus, 206u);
        EXPECT_EQ(reports_->retries[1].downloadedBytes, 0u);
        EXPECT_EQ(reports_->retries[1].resumedBytes, 0u);
        const auto requests = server_->requestsFor(path);
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(requests[1].status, 206);
        expectWholeFileRequest(requests[2]);
    }
}

TEST_F(InstallerDownload, PartialFileMissingOrOfTheWrongSizeIsNotContinued) {
    const auto noProgress = [](std::uint64_t, std::uint64_t) {};
    const auto halfDone = [] {
        DownloadResumeState state;
        state.validator = L"\"v1\"";
        state.downloadedBytes = half;
        state.totalBytes = fileSize;
        return state;
    };

    DownloadResumeState missing = halfDone();
    const std::string missingPath = server_->uniquePath("whole");
    try {
        downloadAttempt(urlFor(missingPath), destination_, noLimit, noProgress, {}, 30000, missing, 15000);
        ADD_FAILURE() << "continued a file that is not there";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "download_resume_rejected");
        EXPECT_EQ(error.win32Error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(error.httpStatus, 206u);
        EXPECT_EQ(error.downloadedBytes, 0u);
        EXPECT_EQ(error.totalBytes, fileSize);
        EXPECT_EQ(error.resumedBytes, 0u);
    }
    EXPECT_EQ(missing.validator, L"");
    EXPECT_EQ(missing.downloadedBytes, 0u);
    EXPECT_EQ(missing.totalBytes, 0u);
    EXPECT_FALSE(std::filesystem::exists(destination_));
    ASSERT_EQ(server_->requestsFor(missingPath).size(), 1u);
    EXPECT_EQ(server_->requestsFor(missingPath)[0].header("Range"), "bytes=524288-");

    std::filesystem::create_directories(destination_.parent_path());
    std::ofstream(destination_, std::ios::binary) << std::string(1000, 'x');
    DownloadResumeState wrongSize = halfDone();
    try {
        downloadAttempt(urlFor(server_->uniquePath("whole")), destination_, noLimit, noProgress, {}, 30000,
                        wrongSize, 15000);
        ADD_FAILURE() << "continued a file of the wrong size";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "download_resume_rejected");
        EXPECT_FALSE(error.win32Error);
    }
    EXPECT_EQ(wrongSize.validator, L"");
    EXPECT_EQ(std::filesystem::file_size(destination_), 1000u) << "the file is left as it was";

    // A file of the right size is continued: the bytes already there are kept, the rest appended.
    const std::string source = testing::readFileBytes(server_->payloadPath("installer"));
    std::ofstream(destination_, std::ios::binary | std::ios::trunc) << source.substr(0, half);
    DownloadResumeState rightSize = halfDone();
    downloadAttempt(urlFor(server_->uniquePath("whole")), destination_, noLimit, noProgress, {}, 30000,
                    rightSize, 15000);
    EXPECT_EQ(rightSize.lastStatus, 206u);
    EXPECT_EQ(rightSize.resumedBytes, half);
    EXPECT_EQ(rightSize.downloadedBytes, fileSize);
    EXPECT_EQ(destinationSha256(), server_->payloadSha256("installer"));
}

TEST_F(InstallerDownload, PartialContentToAWholeFileRequestIsAStatusError) {
    const std::string path = server_->uniquePath("unasked_206");
    const InstallationDiagnosticError error = failedDownload(path);
    EXPECT_EQ(error.operation, "http_status");
    EXPECT_EQ(error.httpStatus, 206u);
    EXPECT_TRUE(reports_->retries.empty());
    EXPECT_EQ(server_->requestsFor(path).size(), 1u);
}

TEST_F(InstallerDownload, ServiceUnavailableIsRetriedTwiceWithTheSchedule) {
    const std::string path = server_->uniquePath("always_503");
    const InstallationDiagnosticError error = failedDownload(path);
    EXPECT_EQ(error.operation, "http_status");
    EXPECT_EQ(error.httpStatus, 503u);
    EXPECT_EQ(error.downloadedBytes, 0u);
    EXPECT_EQ(error.totalBytes, 0u);
    ASSERT_EQ(reports_->retries.size(), 2u);
    EXPECT_EQ(reports_->retries[0].retryNumber, 1u);
    EXPECT_EQ(reports_->retries[0].delayMs, 2000u);
    EXPECT_EQ(reports_->retries[0].httpStatus, 503u);
    EXPECT_EQ(reports_->retries[1].retryNumber, 2u);
    EXPECT_EQ(reports_->retries[1].delayMs, 5000u);
    EXPECT_EQ(server_->requestsFor(path).size(), 3u);
}

TEST_F(InstallerDownload, ClientErrorsAreFinalAndCarryNoBytes) {
    for (const auto& [scenario, status] : {std::pair{"always_404", 404u}, std::pair{"always_429", 429u}}) {
        SCOPED_TRACE(scenario);
        const std::string path = server_->uniquePath(scenario);
        const InstallationDiagnosticError error = failedDownload(path);
        EXPECT_EQ(error.operation, "http_status");
        EXPECT_EQ(error.httpStatus, status);
        EXPECT_FALSE(error.win32Error);
        EXPECT_EQ(error.downloadedBytes, 0u);
        EXPECT_EQ(error.totalBytes, 0u);
        EXPECT_EQ(error.resumedBytes, 0u);
        EXPECT_EQ(server_->requestsFor(path).size(), 1u);
    }
    EXPECT_TRUE(reports_->retries.empty());
    EXPECT_FALSE(std::filesystem::exists(destination_)) << "the status is checked before the file is touched";
}

TEST_F(InstallerDownload, RedirectsAreNotFollowed) {
    const std::string path = server_->uniquePath("redirect");
    const InstallationDiagnosticError error = failedDownload(path);
    EXPECT_EQ(error.operation, "http_status");
    EXPECT_EQ(error.httpStatus, 302u);
    EXPECT_TRUE(reports_->retries.empty());
    EXPECT_EQ(server_->requestsFor(path).size(), 1u);
    EXPECT_TRUE(server_->requestsFor("/s/whole/redirect-target").empty());
}

TEST_F(InstallerDownload, SizeLimitWithAndWithoutContentLength) {
    const std::string announced = server_->uniquePath("whole");
    const InstallationDiagnosticError tooLong = failedDownload(announced, fileSize - 1);
    EXPECT_EQ(tooLong.operation, "download_content_length");
    EXPECT_EQ(tooLong.totalBytes, fileSize);
    EXPECT_EQ(tooLong.downloadedBytes, 0u);
    EXPECT_FALSE(std::filesystem::exists(destination_)) << "refused before the file is touched";

    const std::uint64_t limit = 200000;
    const std::string unannounced = server_->uniquePath("no_length");
    const InstallationDiagnosticError overflow = failedDownload(unannounced, limit);
    EXPECT_EQ(overflow.operation, "download_size_limit");
    ASSERT_TRUE(overflow.downloadedBytes);
    EXPECT_GT(*overflow.downloadedBytes, limit);
    EXPECT_EQ(overflow.totalBytes, 0u);
    EXPECT_LE(std::filesystem::file_size(destination_), limit) << "the chunk past the limit is not written";
    // What was written is the start of the source.
    const std::string written = testing::readFileBytes(destination_);
    EXPECT_EQ(written, testing::readFileBytes(server_->payloadPath("installer")).substr(0, written.size()));

    EXPECT_TRUE(reports_->retries.empty());
    EXPECT_EQ(server_->requestsFor(announced).size(), 1u);
    EXPECT_EQ(server_->requestsFor(unannounced).size(), 1u);

    // Exactly at the limit is allowed.
    const InstallerDownloadResult exact = download(server_->uniquePath("whole"), fileSize);
    EXPECT_EQ(exact.httpStatus, 200u);
}

TEST_F(InstallerDownload, EmptyBodyIsAFinalSizeMismatch) {
    for (const char* scenario : {"empty_no_length", "empty_with_length"}) {
        SCOPED_TRACE(scenario);
        const std::string path = server_->uniquePath(scenario);
        const InstallationDiagnosticError error = failedDownload(path);
        EXPECT_EQ(error.operation, "download_size_mismatch");
        EXPECT_EQ(error.downloadedBytes, 0u);
        EXPECT_EQ(error.totalBytes, 0u);
        EXPECT_EQ(error.httpStatus, 200u);
        EXPECT_EQ(server_->requestsFor(path).size(), 1u);
    }
    EXPECT_TRUE(reports_->retries.empty());
}

TEST_F(InstallerDownload, ContentEncodingMustBeIdentity) {
    const std::string gzip = server_->uniquePath("gzip");
    const InstallationDiagnosticError error = failedDownload(gzip);
    EXPECT_EQ(error.operation, "download_encoding");
    EXPECT_EQ(error.httpStatus, 200u);
    EXPECT_TRUE(reports_->retries.empty());
    EXPECT_EQ(server_->requestsFor(gzip).size(), 1u);

    const InstallerDownloadResult result = download(server_->uniquePath("identity_capitals"));
    EXPECT_EQ(result.httpStatus, 200u);
    EXPECT_EQ(testing::readFileBytes(destination_), "Ardenwick");
}

TEST_F(InstallerDownload, StopDuringTheLongWaitEndsAtOnce) {
    std::stop_source stopSource;
    std::jthread stopper;
    std::chrono::steady_clock::time_point secondWaitStarted;
    reports_->onRetryHook = [&](std::uint32_t retryNumber) {
        if (retryNumber == 2) {
            secondWaitStarted = std::chrono::steady_clock::now();
            stopper = std::jthread([&stopSource] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                stopSource.request_stop();
            });
        }
    };
    const std::string path = server_->uniquePath("always_503");
    const InstallationDiagnosticError error =
        failedDownload(path, noLimit, InstallerDownloadTimings{}, stopSource.get_token());
    const auto waited = std::chrono::steady_clock::now() - secondWaitStarted;
    EXPECT_EQ(error.operation, "download_stopped");
    EXPECT_FALSE(error.httpStatus);
    EXPECT_FALSE(error.downloadedBytes);
    EXPECT_EQ(reports_->retries.size(), 2u);
    EXPECT_EQ(server_->requestsFor(path).size(), 2u) << "no third request after the stop";
    // The full wait is 5000 ms; the stop came after 200 ms.
    EXPECT_LT(waited, std::chrono::milliseconds(2500));
}

TEST_F(InstallerDownload, StopBeforeTheFirstRequestSendsNothing) {
    std::stop_source stopSource;
    stopSource.request_stop();
    const std::string path = server_->uniquePath("whole");
    const InstallationDiagnosticError error =
        failedDownload(path, noLimit, fastRetries, stopSource.get_token());
    EXPECT_EQ(error.operation, "download_stopped");
    EXPECT_TRUE(server_->requestsFor(path).empty());
}

TEST_F(InstallerDownload, StopBetweenReadsEndsTheAttemptWithItsBytes) {
    std::stop_source stopSource;
    reports_->onProgressHook = [&stopSource](std::uint64_t downloaded) {
        if (downloaded > 0) {
            stopSource.request_stop();
        }
    };
    const std::string path = server_->uniquePath("cut_strong");
    const InstallationDiagnosticError error =
        failedDownload(path, noLimit, fastRetries, stopSource.get_token());
    EXPECT_EQ(error.operation, "download_stopped");
    EXPECT_EQ(error.httpStatus, 200u);
    ASSERT_TRUE(error.downloadedBytes);
    EXPECT_GT(*error.downloadedBytes, 0u);
    EXPECT_LT(*error.downloadedBytes, half);
    EXPECT_EQ(error.totalBytes, fileSize);
    EXPECT_EQ(std::filesystem::file_size(destination_), *error.downloadedBytes);
    EXPECT_TRUE(reports_->retries.empty());
    EXPECT_EQ(server_->requestsFor(path).size(), 1u);
}

TEST_F(InstallerDownload, FileSystemFailuresNameTheirStep) {
    const auto blocker = directory_.path() / L"blocker";
    std::ofstream(blocker) << "a file where a directory should be";
    const std::string path = server_->uniquePath("whole");
    try {
        (void)downloadInstaller(urlFor(path), blocker / L"attempt" / L"setup.partial", noLimit,
                                std::make_unique<RecordingCallback>(reports_), {}, fastRetries);
        ADD_FAILURE() << "created a directory below a file";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "download_directory_create");
        EXPECT_TRUE(error.win32Error);
        EXPECT_EQ(error.httpStatus, 200u);
        EXPECT_EQ(error.totalBytes, fileSize);
        EXPECT_EQ(error.downloadedBytes, 0u);
    }

    const auto directoryInTheWay = directory_.path() / L"setup.partial";
    std::filesystem::create_directories(directoryInTheWay);
    try {
        (void)downloadInstaller(urlFor(server_->uniquePath("whole")), directoryInTheWay, noLimit,
                                std::make_unique<RecordingCallback>(reports_), {}, fastRetries);
        ADD_FAILURE() << "opened a directory as the partial file";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "download_file_create");
        EXPECT_EQ(error.win32Error, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    }
    EXPECT_TRUE(reports_->retries.empty());
}

TEST_F(InstallerDownload, PlainHttpOnlyToExactLoopbackNames) {
    const std::string path = server_->uniquePath("whole");
    const std::wstring rest = L":" + server_->port() + utf8ToWide(path);
    for (const std::wstring& url :
         {L"http://127.0.0.2" + rest, L"http://LOCALHOST" + rest, L"http://example.invalid" + rest}) {
        SCOPED_TRACE(wideToUtf8(url));
        try {
            (void)downloadInstaller(url, destination_, noLimit, std::make_unique<RecordingCallback>(reports_),
                                    {}, fastRetries);
            ADD_FAILURE() << "accepted";
        } catch (const InstallationDiagnosticError& refused) {
            EXPECT_EQ(refused.operation, "url_scheme");
            EXPECT_FALSE(refused.win32Error);
            EXPECT_FALSE(refused.httpStatus);
            EXPECT_EQ(refused.downloadedBytes, 0u);
        }
    }
    EXPECT_TRUE(server_->requestsFor(path).empty());

    const InstallerDownloadResult viaName = downloadInstaller(
        L"http://localhost" + rest, destination_, noLimit, std::make_unique<RecordingCallback>(reports_), {});
    EXPECT_EQ(viaName.httpStatus, 200u);
    EXPECT_EQ(server_->requestsFor(path).size(), 1u);
}

TEST_F(InstallerDownload, HttpsToLoopbackUsesTls) {
    // The server speaks plain HTTP: a TLS hello is not a request it can log, and the exchange fails.
    const std::string path = server_->uniquePath("whole");
    for (const std::wstring host : {L"127.0.0.1", L"localhost"}) {
        SCOPED_TRACE(wideToUtf8(host));
        const InstallationDiagnosticError error =
            failedDownloadOf(L"https://" + host + L":" + server_->port() + utf8ToWide(path));
        EXPECT_TRUE(error.operation.starts_with("http_")) << error.operation;
        EXPECT_TRUE(error.win32Error);
        EXPECT_FALSE(error.httpStatus);
    }
    EXPECT_TRUE(server_->requestsFor(path).empty());
}

TEST_F(InstallerDownload, UnparsableUrlsFailWithTheCrackError) {
    for (const wchar_t* url : {L"ftp://127.0.0.1/file", L"not a url", L"http://"}) {
        SCOPED_TRACE(wideToUtf8(url));
        try {
            (void)downloadInstaller(url, destination_, noLimit, std::make_unique<RecordingCallback>(reports_),
                                    {}, fastRetries);
            ADD_FAILURE() << "accepted";
        } catch (const InstallationDiagnosticError& error) {
            EXPECT_EQ(error.operation, "url_parse");
            EXPECT_TRUE(error.win32Error);
            EXPECT_NE(error.win32Error, 0u);
        }
    }
    EXPECT_TRUE(reports_->retries.empty());
}

TEST_F(InstallerDownload, QueryStringReachesTheServerUnchanged) {
    const std::string path = server_->uniquePath("whole");
    const InstallerDownloadResult result = download(path + "?channel=prod&x=%20y");
    EXPECT_EQ(result.httpStatus, 200u);
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, path + "?channel=prod&x=%20y");
}

} // namespace
} // namespace ardenwick
