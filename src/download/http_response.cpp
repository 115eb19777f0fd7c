#include "download/http_response.h"

#include <utility>

namespace ardenwick {

HttpResponse::HttpResponse(HttpResponse&& other) noexcept
    : session(std::move(other.session)), connection(std::move(other.connection)),
      request(std::move(other.request)), statusCode(std::exchange(other.statusCode, 0)) {}

HttpResponse& HttpResponse::operator=(HttpResponse&& other) noexcept {
    if (this != &other) {
        // Member-wise assignment would close our session before our request.
        closeHttpHandles();
        session = std::move(other.session);
        connection = std::move(other.connection);
        request = std::move(other.request);
        statusCode = std::exchange(other.statusCode, 0);
    }
    return *this;
}

void HttpResponse::closeHttpHandles() noexcept {
    request.reset();
    connection.reset();
    session.reset();
}

} // namespace ardenwick
