#include "link/tcp_port.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "common/system_error.h"
#include "link/trace_format.h"
#include "link/trace_log.h"

namespace yukt {

namespace {

constexpr std::size_t kChunk = 4096;
// Line data before the settings are confirmed is kept for the first
// exchange, but a server that streams more than this while the client is
// still negotiating is not a serial line: the connection is refused.
constexpr std::size_t kMaxUnconfirmedData = 64 * 1024;
// Input read in one go when dropping late bytes or reading up to a
// hang-up: a server that floods cannot keep the exchange in the loop.
constexpr std::size_t kMaxDrain = 64 * 1024;
constexpr int kMaxStepReads = 32;
// Negotiation answers are a few bytes into an empty send buffer.
constexpr std::chrono::milliseconds kAnswerLimit{2000};

}  // namespace

int MsLeft(NetClock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - NetClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

short PollOnce(int fd, short events, int ms) {
    for (;;) {
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        return r > 0 ? p.revents : 0;
    }
}

// On a socket a closed pipe is the peer gone, said as a reset is.
std::string SocketText(int e) { return SystemErrorText(e == EPIPE ? ECONNRESET : e); }

TcpPort::TcpPort(int fd, std::string name, std::optional<Rfc2217Codec> telnet,
                 std::string traceLine)
    : m_fd(fd),
      m_name(std::move(name)),
      m_telnet(std::move(telnet)),
      m_traceLine(std::move(traceLine)) {}

TcpPort::~TcpPort() { ::close(m_fd); }

void TcpPort::startNegotiation() {
    m_telnet->start();
    flushTelnet(NetClock::now() + kAnswerLimit);
}

TcpPort::Settle TcpPort::negotiate(std::string& why) {
    // What has arrived, in a bounded number of reads: a step never waits.
    for (int reads = 0; reads < kMaxStepReads; ++reads) {
        if (m_lost || m_telnet->settled() || m_telnet->refused() ||
            m_rx.size() > kMaxUnconfirmedData || fill(NetClock::now()) < 0 ||
            PollOnce(m_fd, POLLIN, 0) == 0)
            break;
    }
    if (m_lost) {
        why = m_problem;
        return Settle::Failed;
    }
    if (m_telnet->refused()) {
        why = "сервер не поддерживает RFC 2217";
        return Settle::Failed;
    }
    if (m_rx.size() > kMaxUnconfirmedData) {
        why = "сервер шлёт данные, не подтвердив настройки линии (больше 64 КиБ)";
        return Settle::Failed;
    }
    return m_telnet->settled() ? Settle::Done : Settle::Pending;
}

bool TcpPort::doWrite(std::uint8_t b, std::chrono::milliseconds limit) {
    return doWriteAll(&b, 1, limit);
}

bool TcpPort::doWriteAll(const std::uint8_t* data, std::size_t n, std::chrono::milliseconds limit) {
    if (m_lost || peerGone()) return false;
    const auto deadline = NetClock::now() + limit;
    if (!m_telnet) return sendAll(data, n, deadline);
    m_telnet->encodeData(data, n);
    return flushTelnet(deadline);
}

int TcpPort::doRead(std::chrono::milliseconds limit) {
    const auto deadline = NetClock::now() + limit;
    while (m_pos >= m_rx.size()) {
        if (m_lost) return -1;
        if (fill(deadline) <= 0 && m_pos >= m_rx.size() && MsLeft(deadline) == 0) return -1;
    }
    return m_rx[m_pos++];
}

std::size_t TcpPort::doDiscardInput() {
    std::size_t dropped = m_rx.size() - m_pos;
    m_rx.clear();
    m_pos = 0;
    while (!m_lost && dropped < kMaxDrain && fill(NetClock::now()) > 0) {
        dropped += m_rx.size();
        m_rx.clear();
    }
    return dropped;
}

void TcpPort::markLost(const std::string& why) {
    if (m_lost) return;
    m_lost = true;
    m_problem = m_name + ": " + why;
}

// The server closed or reset the connection while we were idle: a write
// would still succeed once and the reply would never come.
bool TcpPort::peerGone() {
    const short r = PollOnce(m_fd, POLLRDHUP, 0);
    if ((r & (POLLRDHUP | POLLHUP | POLLERR)) == 0) return false;
    // Input may still be waiting before the end; read it so nothing is
    // lost, and let the end of stream mark the connection.
    for (std::size_t read = 0; !m_lost && read < kMaxDrain;) {
        const int n = fill(NetClock::now());
        if (n <= 0) break;
        read += static_cast<std::size_t>(n);
    }
    if (!m_lost) markLost("соединение закрыто сервером");
    return true;
}

// One read of what the server has, waiting until `deadline` for the first
// byte. Line data bytes added, 0 on time-out, -1 when the connection is gone.
int TcpPort::fill(NetClock::time_point deadline) {
    const short r = PollOnce(m_fd, POLLIN, MsLeft(deadline));
    if (r == 0) return 0;
    std::uint8_t chunk[kChunk];
    ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0) {
        markLost("соединение закрыто сервером");
        return -1;
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return 0;
        markLost(SocketText(errno));
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
        traceDroppedSubnegotiations();
        if (m_telnet->hasOutput()) flushTelnet(NetClock::now() + kAnswerLimit);
    }
    return static_cast<int>(m_rx.size() - before);
}

void TcpPort::traceDroppedSubnegotiations() {
    const std::size_t drops = m_telnet->droppedSubnegotiations();
    if (drops == m_dropsTraced) return;
    m_dropsTraced = drops;
    if (!TraceOn()) return;
    TraceWrite(FormatTraceNote(
        TraceMicros(), m_traceLine,
        "telnet sub-negotiation over 256 bytes dropped (" + std::to_string(drops) + " in all)"));
}

bool TcpPort::flushTelnet(NetClock::time_point deadline) {
    const std::vector<std::uint8_t> out = m_telnet->takeOutput();
    return sendAll(out.data(), out.size(), deadline);
}

bool TcpPort::sendAll(const std::uint8_t* data, std::size_t n, NetClock::time_point deadline) {
    while (n > 0) {
        ssize_t w = ::send(m_fd, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) {
            data += w;
            n -= static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) {
            markLost(SocketText(errno));
            return false;
        }
        if (PollOnce(m_fd, POLLOUT, MsLeft(deadline)) == 0) return false;
    }
    return true;
}

}  // namespace yukt
