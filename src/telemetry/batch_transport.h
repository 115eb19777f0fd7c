#pragma once

#include "telemetry/batch_endpoint.h"

#include <mutex>
#include <string>

namespace ardenwick {

/// Lets the thread that stops the client end a post that the sender thread has in flight. Closing a
/// request's handle is how WinHTTP cancels a call that is blocked on it; once aborted, no post starts.
class BatchPostAbort {
public:
    void abort() noexcept;

    /// The request about to be sent; false when abort() came first.
    [[nodiscard]] bool begin(void* request) noexcept;
    /// The request is done with; true when abort() has already closed its handle.
    [[nodiscard]] bool end(void* request) noexcept;

private:
    std::mutex mutex_;
    bool aborted_ = false;
    void* inFlight_ = nullptr;
    bool closed_ = false;
};

/// One HTTPS POST of a JSON batch body over WinHTTP. Any failure before a status arrives is Retry, and
/// so is a post that `abort` ended.
[[nodiscard]] DeliveryResult postBatch(const BatchEndpoint& endpoint, const std::string& body,
                                       BatchPostAbort* abort = nullptr);

} // namespace ardenwick
