#include "download/http_client.h"

#include "common/installation_diagnostic_error.h"
#include "common/text_conversion.h"
#include "release_server_fixture.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

using testing::ReleaseServer;

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override {
        auto found = ReleaseServer::fromEnvironment();
        ASSERT_TRUE(found) << "run through tools/release-server/with-server";
        server_ = std::move(*found);
    }
    std::optional<ReleaseServer> server_;
};

TEST_F(HttpClient, EmptyHeaderBlockSendsNoExtraHeaders) {
    const std::string path = server_->uniquePath("whole");
    HttpResponse response = openHttpGet(server_->baseUrl() + utf8ToWide(path), L"", 30000, 15000);
    EXPECT_EQ(response.statusCode, 200u);
    EXPECT_TRUE(response.session);
    EXPECT_TRUE(response.connection);
    EXPECT_TRUE(response.request);
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("User-Agent"), "ArdenwickLauncher/1.0");
    EXPECT_FALSE(requests[0].header("Accept-Encoding"));
    EXPECT_FALSE(requests[0].header("Range"));
    EXPECT_FALSE(requests[0].header("Cookie"));
    EXPECT_FALSE(requests[0].header("Authorization"));
}

TEST_F(HttpClient, HeaderBlockIsSentAsGiven) {
    const std::string path = server_->uniquePath("whole");
    const HttpResponse response = openHttpGet(server_->baseUrl() + utf8ToWide(path),
                                              L"Range: bytes=10-\r\nIf-Range: \"v1\"\r\n", 30000, 15000);
    EXPECT_EQ(response.statusCode, 206u);
    const auto requests = server_->requestsFor(path);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Range"), "bytes=10-");
    EXPECT_EQ(requests[0].header("If-Range"), "\"v1\"");
}

TEST_F(HttpClient, QueriesHeadersExactlyAndAbsentOnesAsNothing) {
    const HttpResponse response =
        openHttpGet(server_->baseUrl() + utf8ToWide(server_->uniquePath("whole")), L"", 30000, 15000);
    EXPECT_EQ(queryHttpHeader(response.request.get(), WINHTTP_QUERY_ETAG), L"\"v1\"");
    EXPECT_EQ(queryHttpHeader(response.request.get(), WINHTTP_QUERY_CONTENT_LENGTH), L"1048576");
    EXPECT_EQ(queryHttpHeader(response.request.get(), WINHTTP_QUERY_CONTENT_ENCODING), std::nullopt);
    EXPECT_EQ(queryHttpHeader(response.request.get(), WINHTTP_QUERY_CONTENT_RANGE), std::nullopt);

    const HttpResponse encoded =
        openHttpGet(server_->baseUrl() + utf8ToWide(server_->uniquePath("gzip")), L"", 30000, 15000);
    EXPECT_EQ(queryHttpHeader(encoded.request.get(), WINHTTP_QUERY_CONTENT_ENCODING), L"gzip");
}

TEST_F(HttpClient, StatusesAreNotJudgedHere) {
    for (const auto& [scenario, status] :
         {std::pair{"always_404", 404u}, std::pair{"always_503", 503u}, std::pair{"redirect", 302u}}) {
        const HttpResponse response =
            openHttpGet(server_->baseUrl() + utf8ToWide(server_->uniquePath(scenario)), L"", 30000, 15000);
        EXPECT_EQ(response.statusCode, status) << scenario;
    }
    // The Location was not followed.
    EXPECT_TRUE(server_->requestsFor("/s/whole/redirect-target").empty());
}

TEST_F(HttpClient, MovingAResponseTransfersItsHandles) {
    HttpResponse first =
        openHttpGet(server_->baseUrl() + utf8ToWide(server_->uniquePath("whole")), L"", 30000, 15000);
    const HINTERNET request = first.request.get();
    HttpResponse second = std::move(first);
    EXPECT_EQ(second.request.get(), request);
    EXPECT_EQ(second.statusCode, 200u);
    EXPECT_FALSE(first.request); // NOLINT(bugprone-use-after-move): the moved-from state is the point
    EXPECT_FALSE(first.session);
    EXPECT_EQ(first.statusCode, 0u);
    second =
        openHttpGet(server_->baseUrl() + utf8ToWide(server_->uniquePath("always_404")), L"", 30000, 15000);
    EXPECT_EQ(second.statusCode, 404u);
    second.closeHttpHandles();
    EXPECT_FALSE(second.request);
    EXPECT_FALSE(second.connection);
    EXPECT_FALSE(second.session);
}

TEST_F(HttpClient, ConnectionRefusedNamesTheStepAndTheCode) {
    // Port 1 on loopback has no listener; a refused connection surfaces when the request is sent.
    try {
        (void)openHttpGet(L"http://127.0.0.1:1/x", L"", 30000, 15000);
        ADD_FAILURE() << "connected";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "http_send");
        EXPECT_EQ(error.win32Error, 12029u);
        EXPECT_FALSE(error.httpStatus);
    }
}

} // namespace
} // namespace ardenwick
