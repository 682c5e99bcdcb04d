#include "sim/replay_port.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/system_error.h"
#include "common/text.h"

namespace yukt::sim {

namespace {

// A Telnet client's first byte; a frame never starts with it.
constexpr std::uint8_t kIac = 255;

// Writes everything, waiting while the pseudo-terminal or socket is full.
bool writeAll(int fd, bool socket, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = socket ? ::send(fd, data, size, MSG_NOSIGNAL) : ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd pfd{fd, POLLOUT, 0};
                ::poll(&pfd, 1, 100);
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int msUntil(ReplayPort::Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - ReplayPort::Clock::now());
    // Rounded up, so that a wait never ends before its time.
    return static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 1000));
}

}  // namespace

std::unique_ptr<ReplayPort> ReplayPort::onPty(const std::string& link, std::string& error) {
    std::unique_ptr<PtyLine> pty = PtyLine::open(link, error);
    if (!pty) return nullptr;
    std::unique_ptr<ReplayPort> port(new ReplayPort);
    port->m_pty = std::move(pty);
    return port;
}

std::unique_ptr<ReplayPort> ReplayPort::onTcp(const std::string& where, std::string& error) {
    std::string host = "127.0.0.1";
    std::string portText = where;
    if (const std::size_t colon = where.rfind(':'); colon != std::string::npos) {
        host = where.substr(0, colon);
        portText = where.substr(colon + 1);
    }
    int portNo = 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (!StrToIntStrict(portText, portNo) || portNo < 0 || portNo > 65535 ||
        ::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        error = "--tcp " + where + ": нужен порт TCP (PORT или ADDRESS:PORT)";
        return nullptr;
    }
    addr.sin_port = htons(static_cast<std::uint16_t>(portNo));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        error = "--tcp " + where + ": " + SystemErrorText(errno);
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    std::unique_ptr<ReplayPort> port(new ReplayPort);
    port->m_listen = fd;
    port->m_address = host + ":" + std::to_string(ntohs(addr.sin_port));
    return port;
}

ReplayPort::~ReplayPort() {
    dropClient();
    if (m_listen >= 0) ::close(m_listen);
}

std::string ReplayPort::where() const {
    if (m_pty) return m_pty->linkPath() + " -> " + m_pty->ptyName();
    return "tcp " + m_address;
}

void ReplayPort::dropClient() {
    if (m_client >= 0) ::close(m_client);
    m_client = -1;
    m_mode = Mode::Unknown;
    m_telnet.reset();
}

bool ReplayPort::wait(Clock::time_point until, std::vector<std::uint8_t>& in) {
    const std::size_t before = in.size();
    do {
        // The line: the pseudo-terminal, or the device server's client.
        const int line = m_pty ? m_pty->masterFd() : m_client;
        pollfd pfd[2]{};
        nfds_t n = 0;
        if (m_listen >= 0) pfd[n++] = {m_listen, POLLIN, 0};
        if (line >= 0) pfd[n++] = {line, POLLIN, 0};
        const int ready = ::poll(pfd, n, msUntil(until));
        if (ready < 0) {
            if (errno == EINTR) return true;  // a signal: let the caller look at it
            return false;
        }
        if (ready == 0) continue;
        if (m_listen >= 0 && (pfd[0].revents & POLLIN)) {
            const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                // One client at a time: a new one replaces a stale one, as
                // when the link reconnects after a drop.
                dropClient();
                m_client = c;
                const int one = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                ++m_connections;
                continue;  // the old client's data, if any, is gone with it
            }
        }
        const pollfd& data = pfd[n - 1];
        if (line < 0 || data.fd != line || !(data.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        std::uint8_t buf[4096];
        const ssize_t got = ::read(line, buf, sizeof buf);
        if (m_pty) {
            if (got > 0) in.insert(in.end(), buf, buf + got);
        } else if (got <= 0) {
            dropClient();
        } else {
            feedClient(buf, static_cast<std::size_t>(got), in);
        }
    } while (in.size() == before && Clock::now() < until);
    return true;
}

void ReplayPort::feedClient(const std::uint8_t* bytes, std::size_t n, std::vector<std::uint8_t>& in) {
    if (m_mode == Mode::Unknown && n > 0) {
        m_mode = bytes[0] == kIac ? Mode::Telnet : Mode::Raw;
        // Every line setting is agreed to as asked: the replay has no line.
        if (m_mode == Mode::Telnet) m_telnet.emplace(9600, Rfc2217Codec::Role::Server);
    }
    if (!m_telnet) {
        in.insert(in.end(), bytes, bytes + n);
        return;
    }
    m_telnet->feed(bytes, n, in);
    writeRaw(m_telnet->takeOutput());
}

void ReplayPort::writeRaw(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || m_client < 0) return;
    if (!writeAll(m_client, true, bytes.data(), bytes.size())) dropClient();
}

void ReplayPort::send(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return;
    if (m_pty) {
        writeAll(m_pty->masterFd(), false, bytes.data(), bytes.size());
        return;
    }
    if (!m_telnet) {
        writeRaw(bytes);
        return;
    }
    m_telnet->encodeData(bytes.data(), bytes.size());
    writeRaw(m_telnet->takeOutput());
}

}  // namespace yukt::sim
