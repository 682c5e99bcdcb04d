// A device server that floods line data before it confirms the line
// settings, played by a socket of the test: the port refuses it once 64 KiB
// have come, whatever more the server has.

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

TEST(DeviceServerFaults, FloodBeforeTheSettingsAreConfirmedIsRefused) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread server([listener] {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) return;
        const int client = ::accept(listener, nullptr, nullptr);
        // 0xFF doubled is line data: up to 16 MiB, until the client gives up.
        const std::vector<std::uint8_t> flood(64 * 1024, 0xFF);
        for (int i = 0; i < 256; ++i)
            if (::send(client, flood.data(), flood.size(), MSG_NOSIGNAL) <= 0) break;
        ::close(client);
    });
    const std::string device = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    std::string error;
    EXPECT_EQ(OpenNetworkPort(device, 9600, error), nullptr);
    EXPECT_EQ(error,
              device + ": сервер шлёт данные, не подтвердив настройки линии (больше 64 КиБ)");
    server.join();
    ::close(listener);
}

}  // namespace
}  // namespace yukt
