// postBatch against loopback servers that fail before any HTTP status: every such failure is a Retry.
// (Status classification against a real HTTPS server needs the test PKI; see classifyBatchStatus.)
// A server that accepts and never answers is not used: Wine 8's WinHTTP does not apply the send and
// receive timeouts to the TLS handshake and waits for ever, where Windows gives up after 5 seconds.
#include "telemetry/batch_transport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace ardenwick {
namespace {

/// A TCP listener on 127.0.0.1 that treats each connection with the given behaviour.
class LoopbackListener {
public:
    enum class Behaviour { PlainHttp, CloseAtOnce };

    explicit LoopbackListener(Behaviour behaviour) : behaviour_(behaviour) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (listener_ == INVALID_SOCKET ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(listener_, 4) != 0) {
            throw std::runtime_error("loopback listener");
        }
        int length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    ~LoopbackListener() {
        stop_ = true;
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    [[nodiscard]] std::uint16_t port() const { return port_; }
    [[nodiscard]] int connections() const { return connections_; }

private:
    // Polls with select so that stopping never depends on a blocked call being woken.
    bool readable(SOCKET socket) const {
        while (!stop_) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(socket, &set);
            timeval wait{0, 50000};
            const int ready = select(0, &set, nullptr, nullptr, &wait);
            if (ready < 0) {
                return false;
            }
            if (ready > 0) {
                return true;
            }
        }
        return false;
    }

    void serve() {
        while (readable(listener_)) {
            const SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) {
                return;
            }
            ++connections_;
            if (behaviour_ == Behaviour::PlainHttp) {
                const std::string answer = "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n";
                send(client, answer.data(), static_cast<int>(answer.size()), 0);
            }
            closesocket(client);
        }
    }

    Behaviour behaviour_;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
};

BatchEndpoint endpointAt(std::uint16_t port) {
    BatchEndpoint endpoint;
    endpoint.host = L"localhost";
    endpoint.port = port;
    endpoint.secure = true;
    endpoint.path = L"/batch/";
    endpoint.valid = true;
    return endpoint;
}

TEST(PostBatch, FailuresBeforeAStatusAreRetried) {
    const std::string body = R"({"api_key":"k","batch":[]})";
    {
        // Nothing listens on the port any more.
        std::uint16_t closedPort = 0;
        { closedPort = LoopbackListener(LoopbackListener::Behaviour::CloseAtOnce).port(); }
        EXPECT_EQ(postBatch(endpointAt(closedPort), body), DeliveryResult::Retry);
    }
    {
        LoopbackListener plain(LoopbackListener::Behaviour::PlainHttp);
        EXPECT_EQ(postBatch(endpointAt(plain.port()), body), DeliveryResult::Retry)
            << "a 201 without TLS is no status";
        EXPECT_GE(plain.connections(), 1);
    }
    {
        LoopbackListener closing(LoopbackListener::Behaviour::CloseAtOnce);
        EXPECT_EQ(postBatch(endpointAt(closing.port()), body), DeliveryResult::Retry);
        EXPECT_GE(closing.connections(), 1);
    }
    BatchEndpoint invalid = endpointAt(443);
    invalid.valid = false;
    EXPECT_EQ(postBatch(invalid, body), DeliveryResult::Retry);
}

} // namespace
} // namespace ardenwick
