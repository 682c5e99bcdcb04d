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

constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;
constexpr std::uint8_t kComPort = 44;
// The server confirms a COM port command with the command plus this.
constexpr std::uint8_t kServerOffset = 100;
// A sub-negotiation longer than this is garbage: dropped.
constexpr std::size_t kMaxSub = 256;

bool served(std::uint8_t option) { return option == 0 || option == 3 || option == kComPort; }

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
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

bool writePty(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
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
    m_state = State::Data;
    m_sub.clear();
    std::fill(std::begin(m_willSent), std::end(m_willSent), false);
    std::fill(std::begin(m_doSent), std::end(m_doSent), false);
}

bool ReplayPort::wait(Clock::time_point until, std::vector<std::uint8_t>& in) {
    const std::size_t before = in.size();
    do {
        pollfd pfd[2]{};
        nfds_t n = 0;
        if (m_pty) {
            pfd[n++] = {m_pty->masterFd(), POLLIN, 0};
        } else {
            pfd[n++] = {m_listen, POLLIN, 0};
            if (m_client >= 0) pfd[n++] = {m_client, POLLIN, 0};
        }
        const int ready = ::poll(pfd, n, msUntil(until));
        if (ready < 0) {
            if (errno == EINTR) return true;  // a signal: let the caller look at it
            return false;
        }
        if (ready == 0) continue;
        std::uint8_t buf[4096];
        if (m_pty) {
            if (pfd[0].revents & POLLIN) {
                const ssize_t got = ::read(pfd[0].fd, buf, sizeof buf);
                if (got > 0) in.insert(in.end(), buf, buf + got);
            }
            continue;
        }
        if (pfd[0].revents & POLLIN) {
            const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                // One client at a time: a new one replaces a stale one, as
                // when the link reconnects after a drop.
                dropClient();
                m_client = c;
                const int one = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                ++m_connections;
            }
        }
        if (n > 1 && m_client >= 0 && (pfd[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t got = ::read(m_client, buf, sizeof buf);
            if (got <= 0) {
                dropClient();
                continue;
            }
            feedClient(buf, static_cast<std::size_t>(got), in);
        }
    } while (in.size() == before && Clock::now() < until);
    return true;
}

void ReplayPort::feedClient(const std::uint8_t* bytes, std::size_t n, std::vector<std::uint8_t>& in) {
    if (m_mode == Mode::Unknown && n > 0) m_mode = bytes[0] == kIac ? Mode::Telnet : Mode::Raw;
    if (m_mode == Mode::Raw) {
        in.insert(in.end(), bytes, bytes + n);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        switch (m_state) {
            case State::Data:
                if (b == kIac)
                    m_state = State::Iac;
                else
                    in.push_back(b);
                break;
            case State::Iac:
                if (b == kIac) {
                    in.push_back(kIac);
                    m_state = State::Data;
                } else if (b == kSb) {
                    m_sub.clear();
                    m_state = State::Sub;
                } else if (b >= kWill && b <= kDont) {
                    m_verb = b;
                    m_state = State::Verb;
                } else {
                    m_state = State::Data;
                }
                break;
            case State::Verb: {
                std::vector<std::uint8_t> answer;
                if (m_verb == kDo && !m_willSent[b]) {
                    m_willSent[b] = true;
                    answer = {kIac, static_cast<std::uint8_t>(served(b) ? kWill : kWont), b};
                } else if (m_verb == kWill && !m_doSent[b]) {
                    m_doSent[b] = true;
                    answer = {kIac, static_cast<std::uint8_t>(served(b) ? kDo : kDont), b};
                }
                writeRaw(answer);
                m_state = State::Data;
                break;
            }
            case State::Sub:
                if (b == kIac)
                    m_state = State::SubIac;
                else if (m_sub.size() < kMaxSub)
                    m_sub.push_back(b);
                break;
            case State::SubIac:
                if (b == kSe) {
                    answerSub();
                    m_state = State::Data;
                } else {
                    if (m_sub.size() < kMaxSub) m_sub.push_back(b);
                    m_state = State::Sub;
                }
                break;
        }
    }
}

// Every COM port setting is agreed to as asked: the replay has no line.
void ReplayPort::answerSub() {
    if (m_sub.size() < 2 || m_sub[0] != kComPort || m_sub[1] >= kServerOffset) return;
    std::vector<std::uint8_t> answer{kIac, kSb, kComPort,
                                     static_cast<std::uint8_t>(m_sub[1] + kServerOffset)};
    for (std::size_t i = 2; i < m_sub.size(); ++i) {
        answer.push_back(m_sub[i]);
        if (m_sub[i] == kIac) answer.push_back(kIac);
    }
    answer.insert(answer.end(), {kIac, kSe});
    writeRaw(answer);
}

void ReplayPort::writeRaw(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || m_client < 0) return;
    if (!writeAll(m_client, bytes.data(), bytes.size())) dropClient();
}

void ReplayPort::send(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return;
    if (m_pty) {
        writePty(m_pty->masterFd(), bytes.data(), bytes.size());
        return;
    }
    if (m_mode != Mode::Telnet) {
        writeRaw(bytes);
        return;
    }
    std::vector<std::uint8_t> escaped;
    for (std::uint8_t b : bytes) {
        escaped.push_back(b);
        if (b == kIac) escaped.push_back(kIac);
    }
    writeRaw(escaped);
}

}  // namespace yukt::sim
