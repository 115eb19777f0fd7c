#include "telemetry/batch_transport.h"

#include "common/unique_handle.h"
#include "telemetry/posthog_metrics.h"

#include <windows.h>
#include <winhttp.h>

#include <climits>
#include <mutex>

namespace ardenwick {

namespace {

struct InternetHandleTraits {
    using pointer = HINTERNET;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;

DeliveryResult send(HINTERNET request, const std::string& body) {
    const auto length = static_cast<DWORD>(body.size());
    if (!WinHttpSendRequest(request, L"Content-Type: application/json\r\n", static_cast<DWORD>(-1L),
                            const_cast<char*>(body.data()), length, length, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
        return DeliveryResult::Retry;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return DeliveryResult::Retry;
    }
    return classifyBatchStatus(status);
}

} // namespace

void BatchPostAbort::abort() noexcept {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    if (inFlight_ != nullptr && !closed_) {
        WinHttpCloseHandle(inFlight_);
        closed_ = true;
    }
}

bool BatchPostAbort::begin(void* request) noexcept {
    std::lock_guard lock(mutex_);
    if (aborted_) {
        return false;
    }
    inFlight_ = request;
    closed_ = false;
    return true;
}

bool BatchPostAbort::end(void* request) noexcept {
    std::lock_guard lock(mutex_);
    const bool closed = inFlight_ == request && closed_;
    inFlight_ = nullptr;
    closed_ = false;
    return closed;
}

DeliveryResult postBatch(const BatchEndpoint& endpoint, const std::string& body, BatchPostAbort* abort) {
    if (!endpoint.valid || body.size() > static_cast<std::size_t>(ULONG_MAX)) {
        return DeliveryResult::Retry;
    }
    std::wstring agent = L"Ardenwick/";
    for (const char* c = DefaultAppVersion; *c != '\0'; ++c) {
        agent.push_back(static_cast<wchar_t>(*c));
    }
    agent += L" Metrics";
    // Declared in this order so the request closes first, then the connection, then the session.
    InternetHandle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        return DeliveryResult::Retry;
    }
    if (!WinHttpSetTimeouts(session.get(), 2000, 2000, 5000, 5000)) {
        return DeliveryResult::Retry;
    }
    // A 3xx is the server's answer (Rejected). Followed, the batch would go elsewhere, or come back as a
    // GET whose 2xx would count an event as delivered that nobody received.
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy,
                          sizeof(redirectPolicy))) {
        return DeliveryResult::Retry;
    }
    InternetHandle connection(WinHttpConnect(session.get(), endpoint.host.c_str(), endpoint.port, 0));
    if (!connection) {
        return DeliveryResult::Retry;
    }
    InternetHandle request(WinHttpOpenRequest(connection.get(), L"POST", endpoint.path.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              endpoint.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
        return DeliveryResult::Retry;
    }
    if (abort == nullptr) {
        return send(request.get(), body);
    }
    if (!abort->begin(request.get())) {
        return DeliveryResult::Retry;
    }
    const DeliveryResult result = send(request.get(), body);
    if (abort->end(request.get())) {
        (void)request.release(); // abort() has closed it
        return DeliveryResult::Retry;
    }
    return result;
}

} // namespace ardenwick
