#include "link/tcp_transport.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "link/rfc2217.h"
#include "link/tcp_port.h"

namespace yukt {

namespace {

constexpr std::chrono::milliseconds kConnectLimit{2000};
constexpr std::chrono::milliseconds kSettleLimit{2000};

struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = 0;
    int protocol = 0;
};

// Addresses of a server, looked up once per process: a name lookup may wait
// on a name server for seconds, which a reconnect between exchanges must not.
bool resolve(const NetAddress& a, std::vector<Endpoint>& out, std::string& why) {
    static std::mutex mutex;
    static std::map<std::string, std::vector<Endpoint>> known;
    const std::string key = a.host + "|" + a.port;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (auto it = known.find(key); it != known.end()) {
            out = it->second;
            return true;
        }
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (int r = ::getaddrinfo(a.host.c_str(), a.port.c_str(), &hints, &found); r != 0) {
        why = "узел не найден (" + std::string(::gai_strerror(r)) + ")";
        return false;
    }
    out.clear();
    for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        Endpoint e;
        std::memcpy(&e.address, ai->ai_addr,
                    std::min<std::size_t>(ai->ai_addrlen, sizeof e.address));
        e.length = ai->ai_addrlen;
        e.family = ai->ai_family;
        e.protocol = ai->ai_protocol;
        out.push_back(e);
    }
    ::freeaddrinfo(found);
    std::lock_guard<std::mutex> lock(mutex);
    known[key] = out;
    return true;
}

// Connect, then for rfc2217 the negotiation; each step only when the socket
// is ready. The connect tries each address of the server in turn within one
// time limit, the negotiation has one of its own.
class NetOpening final : public ComOpening {
  public:
    NetOpening(std::string device, int baud, int comNumber, bool negotiate)
        : m_device(std::move(device)),
          m_baud(baud),
          m_traceLine(comNumber > 0 ? "COM" + std::to_string(comNumber) : m_device),
          m_negotiate(negotiate),
          m_deadline(NetClock::now() + kConnectLimit) {
        std::string why;
        if (!ParseNetAddress(m_device, m_address, why)) {
            m_step = Step::Failed;
            m_error = why;
        } else if (!resolve(m_address, m_endpoints, why)) {
            fail(why);
        }
    }
    ~NetOpening() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    NetOpening(const NetOpening&) = delete;
    NetOpening& operator=(const NetOpening&) = delete;

    // Sleeps until the socket has news for the opening or its time is up.
    void wait() {
        const int ms = MsLeft(m_deadline);
        if (m_step == Step::Connecting && m_fd >= 0)
            PollOnce(m_fd, POLLOUT, ms);
        else if (m_step == Step::Negotiating)
            PollOnce(m_port->fd(), POLLIN, ms);
    }

  private:
    enum class Step { Connecting, Negotiating, Failed };

    State doPoll(std::unique_ptr<ByteTransport>& port, std::string& error) override {
        if (m_step == Step::Connecting) connectStep();
        if (m_step == Step::Negotiating) negotiateStep();
        if (m_step == Step::Failed) {
            error = m_error;
            return State::Failed;
        }
        if (!m_done) return State::Pending;
        port = std::move(m_port);
        return State::Open;
    }
    bool doRemote() const override { return true; }

    void connectStep() {
        for (;;) {
            if (m_fd < 0 && !startConnect()) return fail(m_why);
            if (PollOnce(m_fd, POLLOUT, 0) == 0) {
                if (MsLeft(m_deadline) == 0) fail("нет ответа");
                return;
            }
            int e = 0;
            socklen_t len = sizeof e;
            ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &e, &len);
            if (e == 0) break;
            m_why = SocketText(e);
            ::close(m_fd);
            m_fd = -1;
        }
        // Frames are small and latency matters: no Nagle delay.
        int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(m_fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        std::optional<Rfc2217Codec> telnet;
        if (m_address.rfc2217 && m_negotiate) telnet.emplace(m_baud);
        m_port = std::make_unique<TcpPort>(m_fd, m_device, std::move(telnet), m_traceLine);
        m_fd = -1;
        if (!m_address.rfc2217 || !m_negotiate) {
            m_done = true;
            return;
        }
        m_port->startNegotiation();
        m_step = Step::Negotiating;
        m_deadline = NetClock::now() + kSettleLimit;
    }

    // The next address, its connect under way; false when none is left.
    bool startConnect() {
        while (m_next < m_endpoints.size()) {
            const Endpoint& e = m_endpoints[m_next++];
            m_fd = ::socket(e.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, e.protocol);
            if (m_fd < 0) {
                m_why = SocketText(errno);
                continue;
            }
            if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&e.address), e.length) == 0 ||
                errno == EINPROGRESS)
                return true;
            m_why = SocketText(errno);
            ::close(m_fd);
            m_fd = -1;
        }
        return false;
    }

    void negotiateStep() {
        std::string why;
        switch (m_port->negotiate(why)) {
            case TcpPort::Settle::Done:
                m_done = true;
                break;
            case TcpPort::Settle::Failed:
                fail(why);
                break;
            case TcpPort::Settle::Pending:
                if (MsLeft(m_deadline) == 0) fail("сервер не подтвердил настройки линии");
                break;
        }
    }

    void fail(const std::string& why) {
        m_step = Step::Failed;
        m_error = why.rfind(m_device, 0) == 0 ? why : m_device + ": " + why;
        m_port.reset();
    }

    std::string m_device;
    int m_baud;
    std::string m_traceLine;
    bool m_negotiate;
    NetAddress m_address;
    std::vector<Endpoint> m_endpoints;
    std::size_t m_next = 0;
    int m_fd = -1;
    NetClock::time_point m_deadline;
    Step m_step = Step::Connecting;
    bool m_done = false;
    std::unique_ptr<TcpPort> m_port;
    std::string m_why = "нет ответа";
    std::string m_error;
};

// The opening taken to its end, sleeping on the socket between steps.
std::unique_ptr<ByteTransport> openWaiting(NetOpening& opening, std::string& error) {
    std::unique_ptr<ByteTransport> port;
    for (;;) {
        switch (opening.poll(port, error)) {
            case ComOpening::State::Open:
                return port;
            case ComOpening::State::Failed:
                return nullptr;
            case ComOpening::State::Pending:
                opening.wait();
                break;
        }
    }
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

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
    const bool digits = !out.port.empty() && out.port.size() <= 5 &&
                        out.port.find_first_not_of("0123456789") == std::string::npos;
    if (out.host.empty() || !digits || std::stoi(out.port) < 1 || std::stoi(out.port) > 65535) {
        error = device + ": адрес должен быть HOST:PORT";
        return false;
    }
    return true;
}

bool NetworkDeviceReachable(const std::string& device) {
    NetOpening opening(device, 0, 0, false);
    std::string why;
    return openWaiting(opening, why) != nullptr;
}

std::unique_ptr<ByteTransport> OpenNetworkPort(const std::string& device, int baud,
                                               std::string& error, int comNumber) {
    NetOpening opening(device, baud, comNumber, true);
    return openWaiting(opening, error);
}

std::unique_ptr<ComOpening> StartNetworkOpening(const std::string& device, int baud,
                                                int comNumber) {
    return std::make_unique<NetOpening>(device, baud, comNumber, true);
}

}  // namespace yukt
