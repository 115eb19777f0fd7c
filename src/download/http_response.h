#pragma once

#include "common/unique_handle.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdint>

namespace ardenwick {

struct WinHttpHandleTraits {
    using pointer = HINTERNET;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { ::WinHttpCloseHandle(handle); }
};

/// A session, connection or request handle of WinHTTP.
using UniqueWinHttpHandle = UniqueHandle<WinHttpHandleTraits>;

/// One GET exchange: owns its three WinHTTP handles until the caller has read the body.
class HttpResponse {
public:
    HttpResponse() noexcept = default;
    HttpResponse(const HttpResponse&) = delete;
    HttpResponse& operator=(const HttpResponse&) = delete;
    HttpResponse(HttpResponse&& other) noexcept;
    HttpResponse& operator=(HttpResponse&& other) noexcept;
    ~HttpResponse() { closeHttpHandles(); }

    /// Closes the request, then the connection, then the session, so no child outlives its parent.
    void closeHttpHandles() noexcept;

    UniqueWinHttpHandle session;
    UniqueWinHttpHandle connection;
    UniqueWinHttpHandle request;
    std::uint32_t statusCode = 0;
};

} // namespace ardenwick
