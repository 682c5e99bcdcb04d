// A private PostgreSQL server for the records tests: its own data directory
// and Unix socket in a temporary directory, no TCP port, stopped at the end.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace yukt::records::test {

class PgServer {
  public:
    ~PgServer();
    // False with the reason when no server can run here (then skip visibly).
    // With a password the server asks every connection for it.
    bool Start(QString* why, const QString& password = {});
    void Stop();
    // Starts the stopped server again on the same data and socket.
    bool Resume(QString* why);
    bool Running() const { return m_running; }
    QString SocketDir() const { return m_dir ? m_dir->path() : QString(); }
    // A fresh, empty database on this server, owned by the owner role, as
    // the owner's store URL.
    QString NewDatabase(QString* why);
    // Migrates a database as its owner and grants the workstation role its
    // rights; the workstation's URL, which the tests use.
    static QString Provision(const QString& ownerUrl, QString* why);

  private:
    bool Run(const QStringList& command, QString* why);
    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_running = false;
    bool m_asPostgres = false;
    int m_databases = 0;
    QString m_password;
};

// The one server of the test program, started on first use.
PgServer* SharedPgServer(QString* whyNot);
void StopSharedPgServer();

}  // namespace yukt::records::test
