#include "download/download_retry.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

InstallationDiagnosticError withStatus(const char* operation, std::uint32_t status) {
    return InstallationDiagnosticError(operation, std::nullopt, status);
}

TEST(DownloadRetry, ResumeRejectionsAreAlwaysRetried) {
    EXPECT_TRUE(isRetryableDownloadError(InstallationDiagnosticError("download_resume_rejected")));
    EXPECT_TRUE(isRetryableDownloadError(InstallationDiagnosticError("download_resume_rejected", 2u, 416u)));
}

TEST(DownloadRetry, OnlyOverloadStatusesAreRetried) {
    for (const std::uint32_t status : {408u, 500u, 502u, 503u, 504u}) {
        EXPECT_TRUE(isRetryableDownloadError(withStatus("http_status", status))) << status;
    }
    for (const std::uint32_t status :
         {0u, 200u, 206u, 301u, 302u, 400u, 401u, 403u, 404u, 416u, 429u, 501u, 505u, 599u}) {
        EXPECT_FALSE(isRetryableDownloadError(withStatus("http_status", status))) << status;
    }
    // The status rule decides before the Win32 rule: a retryable network code does not rescue a 404.
    EXPECT_FALSE(isRetryableDownloadError(InstallationDiagnosticError("http_status", 12002u, 404u)));
    // Without a status the Win32 rule applies to "http_status" as to any "http_" name.
    EXPECT_FALSE(isRetryableDownloadError(InstallationDiagnosticError("http_status")));
    EXPECT_TRUE(isRetryableDownloadError(InstallationDiagnosticError("http_status", 12030u)));
}

TEST(DownloadRetry, OnlyTransientNetworkErrorsOfHttpStepsAreRetried) {
    for (const char* operation : {"http_read", "http_send", "http_connect", "http_receive_headers",
                                  "http_initialize", "http_status_query"}) {
        for (const std::uint32_t code : {12002u, 12007u, 12029u, 12030u}) {
            EXPECT_TRUE(isRetryableDownloadError(InstallationDiagnosticError(operation, code)))
                << operation << " " << code;
        }
        for (const std::uint32_t code :
             {0u, 5u, 87u, 12001u, 12006u, 12017u, 12031u, 12152u, 12157u, 12175u}) {
            EXPECT_FALSE(isRetryableDownloadError(InstallationDiagnosticError(operation, code)))
                << operation << " " << code;
        }
        EXPECT_FALSE(isRetryableDownloadError(InstallationDiagnosticError(operation)));
    }
    // The same codes on steps that are not HTTP are final.
    for (const char* operation :
         {"url_parse", "url_scheme", "download_file_write", "HTTP_read", "httpread"}) {
        EXPECT_FALSE(isRetryableDownloadError(InstallationDiagnosticError(operation, 12002u))) << operation;
    }
}

TEST(DownloadRetry, ShortBodiesAreRetriedOnlyWhenKnownToBeShort) {
    InstallationDiagnosticError shortBody("download_size_mismatch");
    shortBody.downloadedBytes = 10;
    shortBody.totalBytes = 11;
    EXPECT_TRUE(isRetryableDownloadError(shortBody));

    InstallationDiagnosticError complete = shortBody;
    complete.downloadedBytes = 11;
    EXPECT_FALSE(isRetryableDownloadError(complete));

    InstallationDiagnosticError longer = shortBody;
    longer.downloadedBytes = 12;
    EXPECT_FALSE(isRetryableDownloadError(longer));

    InstallationDiagnosticError unknownTotal("download_size_mismatch");
    unknownTotal.downloadedBytes = 0;
    EXPECT_FALSE(isRetryableDownloadError(unknownTotal));

    InstallationDiagnosticError unknownDownloaded("download_size_mismatch");
    unknownDownloaded.totalBytes = 100;
    EXPECT_FALSE(isRetryableDownloadError(unknownDownloaded));
}

TEST(DownloadRetry, EverythingElseIsFinal) {
    for (const char* operation :
         {"download_stopped", "download_encoding", "download_content_length", "download_size_limit",
          "download_directory_create", "download_file_create", "download_file_size", "download_file_seek",
          "download_file_short_write", "download_file_flush", "download_file_write", ""}) {
        InstallationDiagnosticError error(operation, 12030u, 503u);
        error.downloadedBytes = 1;
        error.totalBytes = 2;
        EXPECT_FALSE(isRetryableDownloadError(error)) << operation;
    }
}

} // namespace
} // namespace ardenwick
