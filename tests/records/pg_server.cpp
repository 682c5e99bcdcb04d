#include "records/pg_server.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "records/record_store.h"

namespace yukt::records::test {
namespace {
const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");
}

PgServer::~PgServer() { Stop(); }

bool PgServer::Run(const QStringList& command, QString* why) {
    QStringList args = command;
    QString program = kBin + args.takeFirst();
    if (m_asPostgres) {
        // The server refuses to run as root: it runs as the postgres account.
        args = QStringList{"-u", "postgres", "--", program} + args;
        program = "runuser";
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *why = program + " " + args.join(' ') + ": " + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

bool PgServer::Start(QString* why, const QString& password) {
    if (!QFile::exists(kBin + "initdb") || !QFile::exists(kBin + "pg_ctl")) {
        *why = "PostgreSQL server binaries absent in " + kBin;
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        *why = "no temporary directory";
        return false;
    }
    m_asPostgres = ::geteuid() == 0;
    if (m_asPostgres && QProcess::execute("chown", {"postgres:postgres", m_dir->path()}) != 0) {
        *why = "cannot hand the temporary directory to the postgres account";
        return false;
    }
    const QString data = m_dir->path() + "/data";
    QStringList init = {"initdb", "-D", data,   "-U",         "postgres", "-A",
                        "trust",  "-E", "UTF8", "--locale=C", "--no-sync"};
    m_password = password;
    if (!password.isEmpty()) {
        QFile file(m_dir->path() + "/pw");
        if (!file.open(QIODevice::WriteOnly) || file.write(password.toUtf8()) < 0) {
            *why = "cannot write the password file";
            return false;
        }
        init[6] = "scram-sha-256";
        init << "--pwfile=" + file.fileName();
    }
    return Run(init, why) && Resume(why);
}

bool PgServer::Resume(QString* why) {
    if (!Run({"pg_ctl", "-D", m_dir->path() + "/data", "-l", m_dir->path() + "/server.log", "-w",
              "-o", "-k " + m_dir->path() + " -c listen_addresses=''", "start"},
             why))
        return false;
    m_running = true;
    return true;
}

void PgServer::Stop() {
    if (!m_running) return;
    QString why;
    Run({"pg_ctl", "-D", m_dir->path() + "/data", "-m", "immediate", "-w", "stop"}, &why);
    m_running = false;
}

QString PgServer::NewDatabase(QString* why) {
    const QString name = QStringLiteral("records_%1").arg(++m_databases);
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", "pg-admin");
        admin.setHostName(m_dir->path());
        admin.setUserName("postgres");
        admin.setPassword(m_password);
        admin.setDatabaseName("postgres");
        if (!admin.open()) {
            *why = admin.lastError().text();
        } else {
            QSqlQuery q(admin);
            // Fixed, generated names: nothing from outside reaches these texts.
            for (const char* role : {"poverka_owner", "poverka_station", "poverka_auditor"})
                q.exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(role));  // once per server
            if (!q.exec("CREATE DATABASE " + name + " OWNER poverka_owner"))
                *why = q.lastError().text();
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase("pg-admin");
    if (!why->isEmpty()) return {};
    return "postgresql://poverka_owner@/" + name + "?host=" + m_dir->path();
}

QString PgServer::Provision(const QString& ownerUrl, QString* why) {
    RecordStore owner;
    if (!owner.Open(ownerUrl) || !owner.GrantWorkstation("poverka_station")) {
        *why = owner.LastError();
        return {};
    }
    return QString(ownerUrl).replace("poverka_owner@", "poverka_station@");
}

namespace {
PgServer server;
QString reason;
bool tried = false;
}  // namespace

void StopSharedPgServer() { server.Stop(); }

PgServer* SharedPgServer(QString* whyNot) {
    if (!tried) {
        tried = true;
        server.Start(&reason);
    }
    *whyNot = reason;
    return server.Running() ? &server : nullptr;
}

}  // namespace yukt::records::test
