// Device servers that misbehave on purpose, played by a socket of the test:
// a flood of line data before the line settings are confirmed, and a
// sub-negotiation that is never closed in the middle of a session.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "link/tcp_transport.h"

namespace yukt {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t IAC = 255, SB = 250, SE = 240, COMPORT = 44;

// One client, served by `serve` on a thread of its own.
class FakeServer {
  public:
    template <typename Serve>
    explicit FakeServer(Serve serve) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 1);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this, serve] {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1) return;
            const int client = ::accept(m_fd, nullptr, nullptr);
            serve(client);
            ::close(client);
        });
    }
    ~FakeServer() {
        m_thread.join();
        ::close(m_fd);
    }
    std::string address() const { return "rfc2217://127.0.0.1:" + std::to_string(m_port); }

  private:
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

bool sendAll(int fd, const Bytes& b) {
    return ::send(fd, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size());
}

// Reads until `n` bytes have come or the client has gone.
void drain(int fd, std::size_t n) {
    std::uint8_t buf[4096];
    for (std::size_t got = 0; got < n;) {
        const ssize_t k = ::recv(fd, buf, sizeof buf, 0);
        if (k <= 0) return;
        got += static_cast<std::size_t>(k);
    }
}

TEST(DeviceServerFaults, FloodBeforeTheSettingsAreConfirmedIsRefused) {
    FakeServer server([](int client) {
        // 0xFF doubled is line data: up to 16 MiB of it, until the client
        // gives up on the connection.
        const Bytes flood(64 * 1024, 0xFF);
        for (int i = 0; i < 256 && sendAll(client, flood); ++i) {
        }
    });
    std::string error;
    EXPECT_EQ(OpenNetworkPort(server.address(), 9600, error), nullptr);
    EXPECT_EQ(error, server.address() +
                         ": сервер шлёт данные, не подтвердив настройки линии (больше 64 КиБ)");
}

TEST(DeviceServerFaults, UnclosedSubnegotiationMidSessionLeavesTheDataFlowing) {
    FakeServer server([](int client) {
        drain(client, 15);  // the client's opening requests
        sendAll(client, {IAC, SB, COMPORT, 101, 0x00, 0x00, 0x25, 0x80, IAC, SE});
        Bytes open = {IAC, SB, COMPORT};
        open.insert(open.end(), 300, 0x20);
        open.insert(open.end(), {0x31, 0x32});
        sendAll(client, open);
        drain(client, 1);  // until the client goes
    });
    std::string error;
    auto port = OpenNetworkPort(server.address(), 9600, error);
    ASSERT_NE(port, nullptr) << error;
    Bytes data;
    for (int b; (b = port->readByte(std::chrono::milliseconds(2000))) >= 0 && data.size() < 47;)
        data.push_back(static_cast<std::uint8_t>(b));
    // What runs past the limit of 256 (the option and 255 blanks) is data.
    Bytes expected(45, 0x20);
    expected.insert(expected.end(), {0x31, 0x32});
    EXPECT_EQ(data, expected);
    port.reset();
}

}  // namespace
}  // namespace yukt
