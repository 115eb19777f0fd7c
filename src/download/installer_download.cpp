#include "download/installer_download.h"

#include "common/installation_diagnostic_error.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "common/win32_file.h"
#include "download/content_range.h"
#include "download/download_retry.h"
#include "download/entity_tag.h"
#include "download/http_client.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace ardenwick {
namespace {

constexpr std::uint32_t maximumAttempts = 3;
constexpr std::uint32_t retryDelaysMs[] = {2000, 5000};
constexpr DWORD readBufferSize = 131072;

// What the completion rule writes into every error that leaves an attempt.
struct AttemptProgress {
    std::uint64_t bytesSoFar = 0;
    std::uint64_t expectedTotal = 0;
    std::uint64_t resumedAt = 0;
    std::optional<std::uint32_t> status;
};

[[noreturn]] void fail(const char* operation, std::optional<std::uint32_t> win32Error = std::nullopt) {
    throw InstallationDiagnosticError(operation, win32Error);
}

[[noreturn]] void failWithLastError(const char* operation) {
    const DWORD error = GetLastError();
    throw InstallationDiagnosticError(operation, static_cast<std::uint32_t>(error));
}

[[noreturn]] void rejectResume(DownloadResumeState& state,
                               std::optional<std::uint32_t> win32Error = std::nullopt) {
    state.reset();
    fail("download_resume_rejected", win32Error);
}

// A header value that is not valid UTF-16 cannot be a valid range either.
bool contentRangeHeaderMatches(const std::wstring& value, std::uint64_t offset, std::uint64_t total) {
    std::string text;
    try {
        text = wideToUtf8(value);
    } catch (const std::runtime_error&) {
        return false;
    }
    return contentRangeMatches(text, offset, total);
}

void runAttempt(const std::wstring& url, const WidePath& destination, std::uint64_t sizeLimit,
                const DownloadProgress& progress, const std::stop_token& stopToken,
                std::uint32_t receiveTimeoutMs, DownloadResumeState& state, std::uint32_t connectTimeoutMs,
                AttemptProgress& attempt) {
    if (stopToken.stop_requested()) {
        fail("download_stopped");
    }
    std::uint64_t resumeOffset = downloadResumeOffset(state, sizeLimit);
    const std::wstring headers = downloadRequestHeaders(resumeOffset, state.validator);

    HttpResponse response = openHttpGet(url, headers, receiveTimeoutMs, connectTimeoutMs);
    attempt.status = response.statusCode;
    state.lastStatus = response.statusCode;
    state.resumedBytes = 0;

    const std::uint32_t status = response.statusCode;
    if (resumeOffset != 0 && status == 416) {
        rejectResume(state);
    }
    if (status != 200 && !(resumeOffset != 0 && status == 206)) {
        throw InstallationDiagnosticError("http_status", std::nullopt, status);
    }

    const HINTERNET request = response.request.get();
    const std::optional<std::wstring> entityTag = queryHttpHeader(request, WINHTTP_QUERY_ETAG);
    const std::optional<std::wstring> contentEncoding =
        queryHttpHeader(request, WINHTTP_QUERY_CONTENT_ENCODING);
    if (contentEncoding && !isIdentityContentEncoding(*contentEncoding)) {
        state.reset();
        fail("download_encoding");
    }

    DWORD contentLength = 0;
    DWORD contentLengthSize = sizeof contentLength;
    const bool hasContentLength =
        WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &contentLength, &contentLengthSize,
                            WINHTTP_NO_HEADER_INDEX) != FALSE;
    attempt.expectedTotal = hasContentLength ? contentLength : 0;

    if (status == 206) {
        const std::optional<std::wstring> contentRange =
            queryHttpHeader(request, WINHTTP_QUERY_CONTENT_RANGE);
        if (!contentRange || !contentRangeHeaderMatches(*contentRange, resumeOffset, state.totalBytes)) {
            rejectResume(state);
        }
        if (entityTag && *entityTag != state.validator) {
            rejectResume(state);
        }
        if (hasContentLength && contentLength != state.totalBytes - resumeOffset) {
            rejectResume(state);
        }
        attempt.expectedTotal = state.totalBytes;
    } else {
        // The server sent the whole file, also when an If-Range did not match.
        resumeOffset = 0;
    }

    if (hasContentLength && contentLength > sizeLimit) {
        fail("download_content_length");
    }

    if (const WidePath folder = destination.parent_path(); !folder.empty()) {
        if (const DWORD directoryError = tryCreateDirectories(folder); directoryError != ERROR_SUCCESS) {
            fail("download_directory_create", directoryError);
        }
    }

    const bool resuming = resumeOffset != 0;
    UniqueFileHandle file(CreateFileW(destination.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      resuming ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (resuming && error == ERROR_FILE_NOT_FOUND) {
            rejectResume(state, static_cast<std::uint32_t>(error));
        }
        fail("download_file_create", static_cast<std::uint32_t>(error));
    }

    if (resuming) {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.get(), &size)) {
            failWithLastError("download_file_size");
        }
        if (static_cast<std::uint64_t>(size.QuadPart) != resumeOffset) {
            rejectResume(state);
        }
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(resumeOffset);
        if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) {
            failWithLastError("download_file_seek");
        }
        attempt.bytesSoFar = resumeOffset;
        attempt.resumedAt = resumeOffset;
        state.resumedBytes = resumeOffset;
    } else {
        const bool strongValidator = entityTag && isStrongEntityTag(*entityTag) && hasContentLength;
        state.validator = strongValidator ? *entityTag : std::wstring();
        state.downloadedBytes = 0;
        state.totalBytes = attempt.expectedTotal;
        attempt.bytesSoFar = 0;
    }

    progress(attempt.bytesSoFar, attempt.expectedTotal);

    std::vector<std::byte> buffer(readBufferSize);
    for (;;) {
        if (stopToken.stop_requested()) {
            fail("download_stopped");
        }
        DWORD read = 0;
        if (!WinHttpReadData(request, buffer.data(), readBufferSize, &read)) {
            failWithLastError("http_read");
        }
        if (read == 0) {
            break;
        }
        attempt.bytesSoFar += read;
        if (attempt.bytesSoFar > sizeLimit) {
            fail("download_size_limit");
        }
        if (resuming && attempt.bytesSoFar > attempt.expectedTotal) {
            rejectResume(state);
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), read, &written, nullptr)) {
            failWithLastError("download_file_write");
        }
        if (written < read) {
            fail("download_file_short_write");
        }
        state.downloadedBytes = attempt.bytesSoFar;
        progress(attempt.bytesSoFar, attempt.expectedTotal);
    }

    if (!FlushFileBuffers(file.get())) {
        failWithLastError("download_file_flush");
    }
    if (attempt.bytesSoFar == 0 ||
        ((hasContentLength || resuming) && attempt.bytesSoFar != attempt.expectedTotal)) {
        fail("download_size_mismatch");
    }
}

// Waits for the retry delay; a stop request ends the wait at once.
void waitBeforeRetry(std::chrono::milliseconds delay, const std::stop_token& stopToken) {
    std::mutex mutex;
    std::condition_variable_any wake;
    const auto now = std::chrono::steady_clock::now();
    const auto deadline = delay > std::chrono::steady_clock::time_point::max() - now
                              ? std::chrono::steady_clock::time_point::max()
                              : now + delay;
    std::unique_lock lock(mutex);
    [[maybe_unused]] const bool stopped = wake.wait_until(lock, stopToken, deadline, [] { return false; });
}

} // namespace

void downloadAttempt(const std::wstring& url, const WidePath& destination, std::uint64_t sizeLimit,
                     const DownloadProgress& progress, const std::stop_token& stopToken,
                     std::uint32_t receiveTimeoutMs, DownloadResumeState& state,
                     std::uint32_t connectTimeoutMs) {
    AttemptProgress attempt;
    try {
        runAttempt(url, destination, sizeLimit, progress, stopToken, receiveTimeoutMs, state,
                   connectTimeoutMs, attempt);
    } catch (InstallationDiagnosticError& error) {
        error.downloadedBytes = attempt.bytesSoFar;
        error.totalBytes = attempt.expectedTotal;
        error.resumedBytes = attempt.resumedAt;
        if (attempt.status) {
            error.httpStatus = attempt.status;
        }
        throw;
    }
}

InstallerDownloadResult downloadInstaller(const std::wstring& url, const WidePath& destination,
                                          std::uint64_t sizeLimit,
                                          std::unique_ptr<IInstallerDownloadCallback> callback,
                                          std::stop_token stopToken,
                                          const InstallerDownloadTimings& timings) {
    DownloadResumeState state;
    const DownloadProgress progress = [&callback](std::uint64_t downloaded, std::uint64_t total) {
        callback->onProgress(downloaded, total);
    };
    for (std::uint32_t attemptIndex = 0;; ++attemptIndex) {
        if (stopToken.stop_requested()) {
            throw InstallationDiagnosticError("download_stopped");
        }
        try {
            downloadAttempt(url, destination, sizeLimit, progress, stopToken, timings.receiveTimeoutMs, state,
                            timings.connectTimeoutMs);
            return InstallerDownloadResult{state.lastStatus, state.resumedBytes};
        } catch (const InstallationDiagnosticError& error) {
            if (stopToken.stop_requested() || attemptIndex + 1 >= maximumAttempts ||
                !isRetryableDownloadError(error)) {
                throw;
            }
            const std::uint32_t delayMs = retryDelaysMs[attemptIndex];
            callback->onRetry(error, attemptIndex + 1, delayMs);
            const std::uint32_t divisor = timings.retryWaitDivisor == 0 ? 1 : timings.retryWaitDivisor;
            waitBeforeRetry(std::chrono::milliseconds(delayMs / divisor), stopToken);
        }
    }
}

} // namespace ardenwick
