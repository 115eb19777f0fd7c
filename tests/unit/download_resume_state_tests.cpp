#include "download/download_resume_state.h"
#include "download/http_url_rules.h"

#include <gtest/gtest.h>

#include <limits>

namespace ardenwick {
namespace {

DownloadResumeState partial(const wchar_t* validator, std::uint64_t downloaded, std::uint64_t total) {
    DownloadResumeState state;
    state.validator = validator;
    state.downloadedBytes = downloaded;
    state.totalBytes = total;
    return state;
}

TEST(DownloadResume, ResumesOnlyAPartialFileWithAStrongValidatorAndAKnownTotal) {
    EXPECT_EQ(downloadResumeOffset(partial(L"\"v1\"", 500, 1000), 1000), 500u);
    EXPECT_EQ(downloadResumeOffset(partial(L"\"v1\"", 999, 1000), 5000), 999u);

    EXPECT_EQ(downloadResumeOffset(partial(L"W/\"v1\"", 500, 1000), 1000), 0u) << "weak validator";
    EXPECT_EQ(downloadResumeOffset(partial(L"", 500, 1000), 1000), 0u) << "no validator";
    EXPECT_EQ(downloadResumeOffset(partial(L"\"v1\"", 0, 1000), 1000), 0u) << "nothing on disk";
    EXPECT_EQ(downloadResumeOffset(partial(L"\"v1\"", 1000, 1000), 1000), 0u) << "already complete";
    EXPECT_EQ(downloadResumeOffset(partial(L"\"v1\"", 500, 0), 1000), 0u) << "unknown total";
    EXPECT_EQ(downloadResumeOffset(partial(L"\"v1\"", 500, 1001), 1000), 0u) << "total above the limit";
    EXPECT_EQ(downloadResumeOffset(DownloadResumeState{}, std::numeric_limits<std::uint64_t>::max()), 0u);
}

TEST(DownloadResume, ResetForgetsEverything) {
    DownloadResumeState state = partial(L"\"v1\"", 500, 1000);
    state.lastStatus = 206;
    state.resumedBytes = 250;
    state.reset();
    EXPECT_TRUE(state.validator.empty());
    EXPECT_EQ(state.downloadedBytes, 0u);
    EXPECT_EQ(state.totalBytes, 0u);
    EXPECT_EQ(state.lastStatus, 0u);
    EXPECT_EQ(state.resumedBytes, 0u);
}

TEST(DownloadResume, RequestHeadersAreExactLines) {
    EXPECT_EQ(downloadRequestHeaders(0, L"\"v1\""), L"Accept-Encoding: identity\r\n");
    EXPECT_EQ(downloadRequestHeaders(524288, L"\"abc-1\""),
              L"Accept-Encoding: identity\r\nRange: bytes=524288-\r\nIf-Range: \"abc-1\"\r\n");
    EXPECT_EQ(downloadRequestHeaders(18446744073709551615ull, L"\"x\""),
              L"Accept-Encoding: identity\r\nRange: bytes=18446744073709551615-\r\nIf-Range: \"x\"\r\n");
}

TEST(DownloadResume, IdentityEncodingIgnoresLetterCaseOnly) {
    for (const wchar_t* good : {L"identity", L"IDENTITY", L"Identity", L"iDeNtItY"}) {
        EXPECT_TRUE(isIdentityContentEncoding(good));
    }
    for (const wchar_t* bad : {L"", L"gzip", L"identity ", L" identity", L"identit", L"identityy",
                               L"identity, gzip", L"\u0130dentity"}) {
        EXPECT_FALSE(isIdentityContentEncoding(bad));
    }
}

TEST(HttpUrlRules, PlainHttpOnlyForExactLoopbackNames) {
    EXPECT_TRUE(isRequestSchemeAllowed(false, L"127.0.0.1"));
    EXPECT_TRUE(isRequestSchemeAllowed(false, L"localhost"));
    for (const wchar_t* host : {L"LOCALHOST", L"Localhost", L"127.0.0.2", L"::1", L"[::1]", L"localhost.",
                                L"127.0.0.1.", L"example.com", L"", L"localhost:80", L"127.1"}) {
        EXPECT_FALSE(isRequestSchemeAllowed(false, host));
        EXPECT_TRUE(isRequestSchemeAllowed(true, host));
    }
}

} // namespace
} // namespace ardenwick
