#include "download/http_client.h"

#include "common/installation_diagnostic_error.h"
#include "download/http_url_rules.h"

#include <new>

namespace ardenwick {
namespace {

[[noreturn]] void throwLastError(const char* operation) {
    const DWORD error = GetLastError();
    throw InstallationDiagnosticError(operation, static_cast<std::uint32_t>(error));
}

} // namespace

HttpResponse openHttpGet(const std::wstring& url, const std::wstring& extraHeaders,
                         std::uint32_t receiveTimeoutMs, std::uint32_t connectTimeoutMs) {
    URL_COMPONENTS components{};
    components.dwStructSize = sizeof components;
    components.dwSchemeLength = static_cast<DWORD>(-1);
    components.dwHostNameLength = static_cast<DWORD>(-1);
    components.dwUrlPathLength = static_cast<DWORD>(-1);
    components.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &components)) {
        throwLastError("url_parse");
    }
    const bool secure = components.nScheme == INTERNET_SCHEME_HTTPS;
    const std::wstring host = components.lpszHostName != nullptr
                                  ? std::wstring(components.lpszHostName, components.dwHostNameLength)
                                  : std::wstring();
    if (!isRequestSchemeAllowed(secure, host)) {
        throw InstallationDiagnosticError("url_scheme");
    }

    HttpResponse response;
    response.session.reset(WinHttpOpen(L"ArdenwickLauncher/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!response.session) {
        throwLastError("http_initialize");
    }
    if (!WinHttpSetTimeouts(response.session.get(), 5000, static_cast<int>(connectTimeoutMs), 5000,
                            static_cast<int>(receiveTimeoutMs))) {
        throwLastError("http_timeouts");
    }
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(response.session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy,
                          sizeof redirectPolicy)) {
        throwLastError("http_redirect_policy");
    }
    response.connection.reset(WinHttpConnect(response.session.get(), host.c_str(), components.nPort, 0));
    if (!response.connection) {
        throwLastError("http_connect");
    }

    std::wstring objectName;
    if (components.lpszUrlPath != nullptr) {
        objectName.assign(components.lpszUrlPath, components.dwUrlPathLength);
    }
    if (components.lpszExtraInfo != nullptr) {
        objectName.append(components.lpszExtraInfo, components.dwExtraInfoLength);
    }
    response.request.reset(WinHttpOpenRequest(response.connection.get(), L"GET", objectName.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              secure ? WINHTTP_FLAG_SECURE : 0));
    if (!response.request) {
        throwLastError("http_request_create");
    }
    const BOOL sent =
        extraHeaders.empty()
            ? WinHttpSendRequest(response.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                 WINHTTP_NO_REQUEST_DATA, 0, 0, 0)
            : WinHttpSendRequest(response.request.get(), extraHeaders.c_str(),
                                 static_cast<DWORD>(extraHeaders.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    if (!sent) {
        throwLastError("http_send");
    }
    if (!WinHttpReceiveResponse(response.request.get(), nullptr)) {
        throwLastError("http_receive_headers");
    }
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!WinHttpQueryHeaders(response.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
        throwLastError("http_status_query");
    }
    response.statusCode = status;
    return response;
}

std::optional<std::wstring> queryHttpHeader(HINTERNET request, DWORD infoLevel) noexcept {
    try {
        DWORD size = 0;
        const BOOL probed = WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX,
                                                WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
        const DWORD probeError = GetLastError();
        if (probed || probeError != ERROR_INSUFFICIENT_BUFFER || size < 2) {
            return std::nullopt;
        }
        std::wstring value(size / 2, L'\0');
        if (!WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                                 WINHTTP_NO_HEADER_INDEX)) {
            return std::nullopt;
        }
        value.resize(size / 2);
        while (!value.empty() && value.back() == L'\0') {
            value.pop_back();
        }
        return value;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace ardenwick
