#include "telemetry/batch_endpoint.h"

#include "telemetry/utf8.h"

namespace ardenwick {

namespace {

constexpr std::uint16_t DefaultHttpsPort = 443;

bool equalsIgnoringCase(std::wstring_view text, std::wstring_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        if (c != lower[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

BatchEndpoint parseBatchEndpoint(std::string_view hostUrl) {
    BatchEndpoint endpoint;
    if (hostUrl.empty()) {
        return endpoint;
    }
    const auto wide = utf8ToWideStrict(hostUrl);
    if (!wide) {
        return endpoint;
    }
    const std::wstring_view url = *wide;
    const std::size_t schemeEnd = url.find(L"://");
    if (schemeEnd == std::wstring_view::npos || !equalsIgnoringCase(url.substr(0, schemeEnd), L"https")) {
        return endpoint;
    }
    const std::wstring_view rest = url.substr(schemeEnd + 3);
    const std::size_t authorityEnd = rest.find(L'/');
    std::wstring_view authority = rest.substr(0, authorityEnd);
    std::wstring_view path =
        authorityEnd == std::wstring_view::npos ? std::wstring_view{} : rest.substr(authorityEnd);
    if (const std::size_t at = authority.rfind(L'@'); at != std::wstring_view::npos) {
        authority.remove_prefix(at + 1);
    }
    std::uint32_t port = DefaultHttpsPort;
    if (const std::size_t colon = authority.rfind(L':'); colon != std::wstring_view::npos) {
        const std::wstring_view digits = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
        if (!digits.empty()) {
            if (digits.size() > 5) {
                return endpoint;
            }
            port = 0;
            for (const wchar_t c : digits) {
                if (c < L'0' || c > L'9') {
                    return endpoint;
                }
                port = port * 10 + static_cast<std::uint32_t>(c - L'0');
            }
            if (port > 65535) {
                return endpoint;
            }
        }
    }
    if (authority.empty()) {
        return endpoint;
    }
    while (!path.empty() && path.back() == L'/') {
        path.remove_suffix(1);
    }
    endpoint.host = std::wstring(authority);
    endpoint.port = static_cast<std::uint16_t>(port);
    endpoint.secure = true;
    endpoint.path = std::wstring(path) + L"/batch/";
    endpoint.valid = true;
    return endpoint;
}

DeliveryResult classifyBatchStatus(std::uint32_t status) {
    if (status >= 200 && status <= 299) {
        return DeliveryResult::Delivered;
    }
    // 407 comes from a proxy that wants credentials: the batch never reached the server.
    if (status == 407 || status == 408 || status == 429 || status >= 500) {
        return DeliveryResult::Retry;
    }
    return DeliveryResult::Rejected;
}

} // namespace ardenwick
