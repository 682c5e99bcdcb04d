#include "records/tcp_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace yukt::records::test {

struct TcpProxy::Rule {
    std::mutex lock;
    QByteArray marker;
    AtCommit what = AtCommit::Forward;
};

namespace {

struct Pair {
    int client = -1, server = -1;
    bool armed = false;   // the marker passed on this connection
    bool silent = false;  // nothing passes any more
    QByteArray seen;      // the client's last bytes, to find texts split across reads
};

bool SendAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

void Close(Pair& p) {
    ::close(p.client);
    ::close(p.server);
    p.client = p.server = -1;
}

}  // namespace

TcpProxy::TcpProxy(const QString& unixSocket, const QByteArray& marker, AtCommit what)
    : m_target(unixSocket), m_rule(std::make_shared<Rule>()) {
    m_rule->marker = marker;
    m_rule->what = what;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::listen(m_listen, 16) == 0 &&
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        m_port = ntohs(a.sin_port);
    if (::pipe2(m_wake, O_CLOEXEC) != 0) m_wake[0] = m_wake[1] = -1;
    m_thread = std::thread([this] { Loop(); });
}

TcpProxy::~TcpProxy() {
    m_quit = true;
    (void)!::write(m_wake[1], "q", 1);
    m_thread.join();
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void TcpProxy::Loop() {
    std::vector<Pair> pairs;
    const QByteArray commit("COMMIT", 7);  // a simple query's text with its terminator
    char buffer[65536];
    while (!m_quit) {
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        for (const Pair& p : pairs)
            if (!p.silent && p.client >= 0) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, POLLIN, 0});
            }
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        std::size_t at = 2;
        for (Pair& p : pairs) {
            if (p.silent || p.client < 0) continue;
            const pollfd& c = fds[at++];
            const pollfd& s = fds[at++];
            if (s.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(p.server, buffer, sizeof buffer, 0);
                if (n <= 0 || !SendAll(p.client, buffer, n)) {
                    Close(p);
                    continue;
                }
            }
            if (c.revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(p.client, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    Close(p);
                    continue;
                }
                p.seen = (p.seen + QByteArray(buffer, n)).right(65536);
                AtCommit what = AtCommit::Forward;
                {
                    std::lock_guard<std::mutex> guard(m_rule->lock);
                    if (m_rule->what != AtCommit::Forward) {
                        if (!p.armed && p.seen.contains(m_rule->marker)) {
                            p.armed = true;
                            // Only what follows the marker counts.
                            p.seen = p.seen.mid(p.seen.indexOf(m_rule->marker));
                        }
                        if (p.armed && p.seen.contains(commit)) {
                            what = m_rule->what;
                            m_rule->what = AtCommit::Forward;
                        }
                    }
                }
                if (what != AtCommit::Forward) m_struck = true;
                if (what == AtCommit::CutBefore) {
                    Close(p);
                    continue;
                }
                if (what == AtCommit::Silent) {
                    p.silent = true;
                    continue;
                }
                if (!SendAll(p.server, buffer, n)) {
                    Close(p);
                    continue;
                }
                if (what == AtCommit::CutAfter) {
                    // The server reads the COMMIT before it sees the end.
                    ::shutdown(p.server, SHUT_WR);
                    char rest[4096];
                    while (::recv(p.server, rest, sizeof rest, 0) > 0) {
                    }
                    Close(p);
                }
            }
        }
        std::erase_if(pairs, [](const Pair& p) { return p.client < 0; });
        // After the pairs polled this time, so that their places hold.
        if (fds[1].revents & POLLIN) {
            Pair p;
            p.client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            // As the client's own socket: no wait for a delayed ACK at each answer.
            const int on = 1;
            ::setsockopt(p.client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            p.server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un u{};
            u.sun_family = AF_UNIX;
            std::strncpy(u.sun_path, m_target.toLocal8Bit().constData(), sizeof u.sun_path - 1);
            if (p.client >= 0 &&
                ::connect(p.server, reinterpret_cast<sockaddr*>(&u), sizeof u) == 0)
                pairs.push_back(p);
            else
                Close(p);
        }
    }
    for (Pair& p : pairs)
        if (p.client >= 0) Close(p);
}

}  // namespace yukt::records::test
