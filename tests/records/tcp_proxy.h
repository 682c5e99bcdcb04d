// A TCP proxy between a program and the test's PostgreSQL server (its Unix
// socket): real sockets, so that a connection can be cut or go silent at a
// chosen COMMIT while the program waits for its answer.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

namespace yukt::records::test {

class TcpProxy {
  public:
    enum class AtCommit {
        Forward,      // nothing happens
        CutBefore,    // the connection is closed, the COMMIT never sent
        CutAfter,     // the COMMIT is sent, its answer never returns: closed
        Silent,       // the COMMIT is held and nothing more passes either way
    };
    // Listens on 127.0.0.1 (a free port) and forwards to `unixSocket`. On
    // the first connection that sends `marker` (a statement's text), the
    // next COMMIT meets `what`; once. The rule is set before the proxy's
    // thread starts: a test that has started a program (a fork) may no
    // longer have its later locks seen by the race detector.
    explicit TcpProxy(const QString& unixSocket, const QByteArray& marker = {},
                      AtCommit what = AtCommit::Forward);
    ~TcpProxy();
    int Port() const { return m_port; }
    // The armed COMMIT was met.
    bool Struck() const { return m_struck; }

  private:
    void Loop();
    QString m_target;
    int m_listen = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_quit{false}, m_struck{false};
    struct Rule;
    std::shared_ptr<Rule> m_rule;
    std::thread m_thread;
};

// The Unix socket of a server started by PgServer in `socketDir`.
inline QString PgSocket(const QString& socketDir) { return socketDir + "/.s.PGSQL.5432"; }

}  // namespace yukt::records::test
