// The test PKI's server certificate on the loopback release server: once the test root CA is trusted,
// WinHTTP accepts it for "localhost" and for "127.0.0.1" (also a DNS name in its SAN, since Wine ignores
// IP SANs).
#include <windows.h>

#include "common/installation_diagnostic_error.h"
#include "download/http_client.h"
#include "support/process_runner.h"
#include "test_root_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace ardenwick {
namespace {

std::wstring serverPort() {
    const wchar_t* port = _wgetenv(L"ARDENWICK_RELEASE_SERVER_PORT");
    return port != nullptr ? std::wstring(port) : std::wstring();
}

// The status of a GET, or the failing operation and its Win32 error.
std::string get(const std::wstring& host) {
    try {
        const HttpResponse response =
            openHttpGet(L"https://" + host + L":" + serverPort() + L"/files/hello.txt", L"", 10000, 10000);
        return std::to_string(response.statusCode);
    } catch (const InstallationDiagnosticError& error) {
        return error.operation + " " + std::to_string(error.win32Error.value_or(0));
    }
}

TEST(TestPkiTls, ServerCertificateIsTrustedThroughTheTestRoot) {
    ASSERT_FALSE(serverPort().empty()) << "run through tools/release-server/with-server --cert";
    testing::installTrustedRootCertificate(testing::executableDirectory() / L"test-pki" / L"root.cer");
    EXPECT_EQ(get(L"localhost"), "200");
    EXPECT_EQ(get(L"127.0.0.1"), "200");
}

} // namespace
} // namespace ardenwick
