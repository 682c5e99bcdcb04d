// scripts/pg-setup on a server that asks every connection for its password:
// it says what the owner lacks instead of failing half-way, and once the
// roles' passwords are in the pgpass file it sets up a database a
// workstation records into.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "records/pg_server.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

#ifdef YUKT_RECORDS_TOOL
TEST(PgSetup, WorksOnAServerThatAsksForPasswords) {
    PgServer server;
    QString why;
    if (!server.Start(&why, "Adm 1:x")) {
        if (why.contains("absent")) GTEST_SKIP() << why.toStdString();
        FAIL() << why.toStdString();
    }
    QTemporaryDir dir;
    const QString pgpass = dir.filePath("pgpass");
    auto keep = [&](const QByteArray& line) {
        QFile f(pgpass);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(line + "\n");
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    keep("*:*:*:postgres:Adm 1\\:x");
    const QByteArray saved = qgetenv("PGPASSFILE");
    qputenv("PGPASSFILE", QFile::encodeName(pgpass));
    auto setup = [&](QString* out) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(YUKT_SCRIPTS_DIR "/pg-setup",
                {"--host", server.SocketDir(), "--db", "lab", "--tool", YUKT_RECORDS_TOOL});
        EXPECT_TRUE(p.waitForFinished(60000));
        *out = QString::fromUtf8(p.readAll());
        return p.exitCode();
    };
    QString out;
    EXPECT_EQ(setup(&out), 1);
    EXPECT_TRUE(out.contains("роль poverka_owner не входит в базу lab")) << out.toStdString();
    {
        // The passwords, as the message asks: set by the administrator, kept in pgpass.
        QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", "pg-setup-admin");
        admin.setHostName(server.SocketDir());
        admin.setUserName("postgres");
        admin.setDatabaseName("postgres");
        ASSERT_TRUE(admin.open()) << admin.lastError().text().toStdString();
        QSqlQuery q(admin);
        ASSERT_TRUE(q.exec("ALTER ROLE poverka_owner PASSWORD 'Owner-2'"));
        ASSERT_TRUE(q.exec("ALTER ROLE poverka_station PASSWORD 'Station-3'"));
        admin.close();
    }
    QSqlDatabase::removeDatabase("pg-setup-admin");
    keep("*:*:*:poverka_owner:Owner-2");
    keep("*:*:*:poverka_station:Station-3");
    EXPECT_EQ(setup(&out), 0) << out.toStdString();
    EXPECT_FALSE(out.contains("не входит")) << out.toStdString();
    {
        RecordStore store;
        ASSERT_TRUE(store.Open("postgresql://poverka_station@/lab?host=" + server.SocketDir()))
            << store.LastError().toStdString();
        Record r = SampleRecord();
        RecordPoint p = SamplePoint(4, 4.01);
        EXPECT_TRUE(store.Begin(r) && store.AddPoint(r.id, p) && store.Close(r.id))
            << store.LastError().toStdString();
    }
    if (saved.isEmpty())
        qunsetenv("PGPASSFILE");
    else
        qputenv("PGPASSFILE", saved);
}
#endif

}  // namespace
}  // namespace yukt::records::test
