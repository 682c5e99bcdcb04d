#include "link/tcp_transport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "link/rfc2217.h"

namespace yukt {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kConnectLimit{2000};
constexpr std::chrono::milliseconds kSettleLimit{2000};
constexpr std::size_t kChunk = 4096;

int msLeft(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string socketText(int e) {
    switch (e) {
        case ECONNREFUSED:
            return "соединение отвергнуто";
        case ECONNRESET:
        case EPIPE:
            return "соединение разорвано";
        case ETIMEDOUT:
            return "нет ответа";
        case EHOSTUNREACH:
        case ENETUNREACH:
            return "узел недоступен";
        default:
            return std::strerror(e);
    }
}

// Polls one descriptor; the revents, 0 on time-out.
short pollOnce(int fd, short events, int ms) {
    for (;;) {
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        return r > 0 ? p.revents : 0;
    }
}

// A non-blocking connect to the first address that answers, bounded by
// `deadline`. The socket, or -1 with the reason.
int connectTo(const NetAddress& a, Clock::time_point deadline, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (int r = ::getaddrinfo(a.host.c_str(), a.port.c_str(), &hints, &found); r != 0) {
        why = "узел не найден (" + std::string(::gai_strerror(r)) + ")";
        return -1;
    }
    why = "нет ответа";
    int fd = -1;
    for (addrinfo* ai = found; ai != nullptr && fd < 0; ai = ai->ai_next) {
        fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                      ai->ai_protocol);
        if (fd < 0) {
            why = socketText(errno);
            continue;
        }
        int e = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            e = errno;
            if (e == EINPROGRESS) {
                if (pollOnce(fd, POLLOUT, msLeft(deadline)) == 0) {
                    e = ETIMEDOUT;
                } else {
                    socklen_t len = sizeof e;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len);
                }
            }
        }
        if (e != 0) {
            why = socketText(e);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd >= 0) {
        // Frames are small and latency matters: no Nagle delay.
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    }
    return fd;
}

class TcpPort final : public ByteTransport {
  public:
    TcpPort(int fd, std::string name, std::optional<Rfc2217Codec> telnet)
        : m_fd(fd), m_name(std::move(name)), m_telnet(std::move(telnet)) {}
    ~TcpPort() override { ::close(m_fd); }
    TcpPort(const TcpPort&) = delete;
    TcpPort& operator=(const TcpPort&) = delete;

    // Runs the opening negotiation until the server has confirmed the line
    // settings; false with the reason otherwise.
    bool settle(std::string& why) {
        m_telnet->start();
        const auto deadline = Clock::now() + kSettleLimit;
        if (!flushTelnet(deadline)) {
            why = m_problem;
            return false;
        }
        while (!m_telnet->settled()) {
            if (m_telnet->refused()) {
                why = "сервер не поддерживает RFC 2217";
                return false;
            }
            if (msLeft(deadline) == 0) {
                why = "сервер не подтвердил настройки линии";
                return false;
            }
            if (fill(deadline) < 0 && m_lost) {
                why = m_problem;
                return false;
            }
        }
        return true;
    }

  private:
    bool doWrite(std::uint8_t b, std::chrono::milliseconds limit) override {
        return doWriteAll(&b, 1, limit);
    }

    bool doWriteAll(const std::uint8_t* data, std::size_t n,
                    std::chrono::milliseconds limit) override {
        if (m_lost || peerGone()) return false;
        const auto deadline = Clock::now() + limit;
        if (!m_telnet) return sendAll(data, n, deadline);
        m_telnet->encodeData(data, n);
        return flushTelnet(deadline);
    }

    int doRead(std::chrono::milliseconds limit) override {
        const auto deadline = Clock::now() + limit;
        while (m_pos >= m_rx.size()) {
            if (m_lost) return -1;
            if (fill(deadline) <= 0 && m_pos >= m_rx.size() && msLeft(deadline) == 0) return -1;
        }
        return m_rx[m_pos++];
    }

    std::size_t doDiscardInput() override {
        std::size_t dropped = m_rx.size() - m_pos;
        m_rx.clear();
        m_pos = 0;
        while (!m_lost && fill(Clock::now()) > 0) {
            dropped += m_rx.size();
            m_rx.clear();
        }
        return dropped;
    }

    bool doLost() const override { return m_lost; }

    void markLost(const std::string& why) {
        if (m_lost) return;
        m_lost = true;
        m_problem = m_name + ": " + why;
    }

    // The server closed or reset the connection while we were idle: a write
    // would still succeed once and the reply would never come.
    bool peerGone() {
        const short r = pollOnce(m_fd, POLLRDHUP, 0);
        if ((r & (POLLRDHUP | POLLHUP | POLLERR)) == 0) return false;
        // Input may still be waiting before the end; read it so nothing is
        // lost, and let the end of stream mark the connection.
        while (!m_lost && fill(Clock::now()) > 0) {
        }
        if (!m_lost) markLost("соединение закрыто сервером");
        return true;
    }

    // One read of what the server has, waiting until `deadline` for the
    // first byte. Line data bytes added, 0 on time-out, -1 when the
    // connection is gone.
    int fill(Clock::time_point deadline) {
        const short r = pollOnce(m_fd, POLLIN, msLeft(deadline));
        if (r == 0) return 0;
        std::uint8_t chunk[kChunk];
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0) {
            markLost("соединение закрыто сервером");
            return -1;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return 0;
            markLost(socketText(errno));
            return -1;
        }
        if (m_pos > 0 && m_pos == m_rx.size()) {
            m_rx.clear();
            m_pos = 0;
        }
        const std::size_t before = m_rx.size();
        if (!m_telnet) {
            m_rx.insert(m_rx.end(), chunk, chunk + n);
        } else {
            m_telnet->feed(chunk, static_cast<std::size_t>(n), m_rx);
            if (m_telnet->hasOutput()) flushTelnet(Clock::now() + kSettleLimit);
        }
        return static_cast<int>(m_rx.size() - before);
    }

    bool flushTelnet(Clock::time_point deadline) {
        const std::vector<std::uint8_t> out = m_telnet->takeOutput();
        return sendAll(out.data(), out.size(), deadline);
    }

    bool sendAll(const std::uint8_t* data, std::size_t n, Clock::time_point deadline) {
        while (n > 0) {
            ssize_t w = ::send(m_fd, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (w > 0) {
                data += w;
                n -= static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR) {
                markLost(socketText(errno));
                return false;
            }
            if (pollOnce(m_fd, POLLOUT, msLeft(deadline)) == 0) return false;
        }
        return true;
    }

    int m_fd;
    std::string m_name;
    std::optional<Rfc2217Codec> m_telnet;
    std::vector<std::uint8_t> m_rx;
    std::size_t m_pos = 0;
    bool m_lost = false;
    std::string m_problem;
};

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

bool IsNetworkDevice(const std::string& device) {
    return startsWith(device, "tcp://") || startsWith(device, "rfc2217://");
}

bool ParseNetAddress(const std::string& device, NetAddress& out, std::string& error) {
    std::string rest;
    if (startsWith(device, "tcp://")) {
        out.rfc2217 = false;
        rest = device.substr(6);
    } else if (startsWith(device, "rfc2217://")) {
        out.rfc2217 = true;
        rest = device.substr(10);
    } else {
        error = device + ": не сетевой адрес";
        return false;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::size_t colon;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            error = device + ": адрес должен быть HOST:PORT";
            return false;
        }
        out.host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) {
            error = device + ": адрес должен быть HOST:PORT";
            return false;
        }
        out.host = rest.substr(0, colon);
    }
    out.port = rest.substr(colon + 1);
    const bool digits =
        !out.port.empty() && out.port.size() <= 5 &&
        out.port.find_first_not_of("0123456789") == std::string::npos;
    if (out.host.empty() || !digits || std::stoi(out.port) < 1 || std::stoi(out.port) > 65535) {
        error = device + ": адрес должен быть HOST:PORT";
        return false;
    }
    return true;
}

bool NetworkDeviceReachable(const std::string& device) {
    NetAddress a;
    std::string why;
    if (!ParseNetAddress(device, a, why)) return false;
    const int fd = connectTo(a, Clock::now() + kConnectLimit, why);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::unique_ptr<ByteTransport> OpenNetworkPort(const std::string& device, int baud,
                                               std::string& error) {
    NetAddress a;
    if (!ParseNetAddress(device, a, error)) return nullptr;
    std::string why;
    const int fd = connectTo(a, Clock::now() + kConnectLimit, why);
    if (fd < 0) {
        error = device + ": " + why;
        return nullptr;
    }
    std::optional<Rfc2217Codec> telnet;
    if (a.rfc2217) telnet.emplace(baud);
    auto port = std::make_unique<TcpPort>(fd, device, std::move(telnet));
    if (a.rfc2217 && !port->settle(why)) {
        error = why.rfind(device, 0) == 0 ? why : device + ": " + why;
        return nullptr;
    }
    return port;
}

}  // namespace yukt
