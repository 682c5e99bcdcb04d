// A run recorded by yukt-verify while its database fails under it: the
// connection cut at the closing commit (before and after the server took
// it), a connection gone silent at a commit, another program's write lock.
// What the operator is told and what the database holds agree; the run never
// hangs, a stop sets the generator safe whatever the database does, and a
// wait for the database is never blamed on the bench.
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include "build_slowdown.h"
#include "records/bench_run.h"
#include "records/records_fixture.h"
#include "records/tcp_proxy.h"

namespace yukt::records::test {
namespace {

class DbFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8());
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", m_savedData); }
    // A database ready for a run: the laboratory's settings and a reference.
    bool Prepare(const QString& url) {
        RecordStore store;
        return store.Open(url) && store.SetSetting("organisation", "Лаборатория") &&
               store.SetSetting("sign_cipher", "ЛАБ") &&
               store.SetSetting("uve_numbers", "3.1.A.1") && AddSampleReference(store);
    }
    // A PostgreSQL database reached through `proxy`; empty when the test is skipped.
    QString ProxiedDatabase(std::unique_ptr<TcpProxy>& proxy) {
        QString why;
        PgServer* server = SharedPgServer(&why);
        if (server == nullptr) return {};
        m_url = PgServer::Provision(server->NewDatabase(&why), &why);
        if (m_url.isEmpty() || !Prepare(m_url)) return {};
        proxy = std::make_unique<TcpProxy>(PgSocket(server->SocketDir()));
        const QString name = m_url.section('/', 3).section('?', 0, 0);
        return QStringLiteral("postgresql://poverka_station@127.0.0.1:%1/%2").arg(proxy->Port()).arg(name);
    }
    std::optional<Record> StoredRecord() {
        RecordStore store;
        if (!store.Open(m_url)) return std::nullopt;
        return store.Load(1);
    }
    static int Finish(QProcess& verify, QString* out, QString* err, double seconds = 120) {
        if (verify.state() != QProcess::NotRunning)
            EXPECT_TRUE(verify.waitForFinished(static_cast<int>(seconds * 1000 * kBuildSlowdown)));
        *out = QString::fromUtf8(verify.readAllStandardOutput());
        *err = QString::fromUtf8(verify.readAllStandardError());
        return verify.exitCode();
    }

    QTemporaryDir m_dir;
    QByteArray m_savedData;
    QString m_url;
};

const QByteArray kClosing = "close_hash = $";
const QByteArray kPoint = "INSERT INTO points";

// The closing's COMMIT lost on the way (nothing written) or its answer lost
// (written): the program reads back before it says anything.
TEST_F(DbFaultTest, ConnectionCutAtTheClosingCommit) {
    struct Case {
        TcpProxy::AtCommit cut;
        int exit;
        const char* said;      // the verdict line
        const char* verdict;   // the database's, once it is opened again
    } cases[] = {
        {TcpProxy::AtCommit::CutAfter, 3, "итог: не годен", "не годен"},
        {TcpProxy::AtCommit::CutBefore, 4, "итог: прервано", "прервано"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        std::unique_ptr<TcpProxy> proxy;
        const QString url = ProxiedDatabase(proxy);
        if (url.isEmpty()) GTEST_SKIP() << "no PostgreSQL server here";
        const QString dir = m_dir.filePath(c.cut == TcpProxy::AtCommit::CutAfter ? "after" : "before");
        QDir().mkpath(dir);
        BenchRun bench(dir);
        ASSERT_TRUE(bench.StartBench({"--current-error", "0.1"}));
        proxy->Arm(kClosing, c.cut);
        QProcess verify;
        bench.StartVerify(verify, bench.WriteProcedure("0"), {"--db", url});
        QString out, err;
        EXPECT_EQ(Finish(verify, &out, &err), c.exit) << err.toStdString();
        EXPECT_TRUE(proxy->Struck());
        EXPECT_TRUE(out.contains(c.said)) << out.toStdString();
        const std::optional<Record> r = StoredRecord();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->verdict, c.verdict);
        EXPECT_EQ(r->certificateNumber.isEmpty(), c.cut == TcpProxy::AtCommit::CutBefore);
        EXPECT_EQ(r->points.size(), 3);
    }
}

// A server that stops answering at a commit: the run is stopped once the
// call overruns --db-timeout, the verdict shown is "прервано", the message
// says the record's fate is unknown; the record left open ends "прервано".
// A stop signal meanwhile sets the generator safe at once.
TEST_F(DbFaultTest, SilentConnectionNeverHangsTheRunNorTheSafeValue) {
    struct Case {
        QByteArray at;
        bool signal;
    } cases[] = {{kClosing, false}, {kPoint, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at.toStdString());
        std::unique_ptr<TcpProxy> proxy;
        const QString url = ProxiedDatabase(proxy);
        if (url.isEmpty()) GTEST_SKIP() << "no PostgreSQL server here";
        const QString dir = m_dir.filePath(QString::number(c.signal));
        QDir().mkpath(dir);
        BenchRun bench(dir);
        ASSERT_TRUE(bench.StartBench());
        proxy->Arm(c.at, TcpProxy::AtCommit::Silent);
        QProcess verify;
        // Longer than the record's opening takes on a loaded machine, and
        // than the signal takes to come.
        const QString limit = QString::number(static_cast<int>(8 * kBuildSlowdown));
        bench.StartVerify(verify, bench.WriteProcedure(c.signal ? "2" : "0"),
                          {"--db", url, "--db-timeout", limit});
        QElapsedTimer clock;
        clock.start();
        if (c.signal) {
            for (int i = 0; i < 1000 && !proxy->Struck(); ++i) QThread::msleep(20);
            ASSERT_TRUE(proxy->Struck());
            // The run goes on while the database holds its first point.
            EXPECT_GT(bench.GeneratorCurrent().value_or(-1), 0);
            ::kill(static_cast<pid_t>(verify.processId()), SIGTERM);
            QElapsedTimer stop;
            stop.start();
            std::optional<double> current;
            while (stop.elapsed() < 2000 * kBuildSlowdown) {
                current = bench.GeneratorCurrent();
                if (current && *current == 0) break;
            }
            EXPECT_EQ(current.value_or(-1), 0) << "after " << stop.elapsed() << " ms";
        }
        QString out, err;
        EXPECT_EQ(Finish(verify, &out, &err, 40), 1) << err.toStdString();
        EXPECT_LT(clock.elapsed(), 40000 * kBuildSlowdown);
        EXPECT_TRUE(proxy->Struck());
        EXPECT_TRUE(out.contains("итог: прервано")) << out.toStdString();
        EXPECT_TRUE(err.contains("база данных записей не ответила за " + limit + " с") &&
                    err.contains("исход записи № 1 неизвестен"))
            << err.toStdString();
        proxy.reset();  // the server's side of the silent connection ends
        const std::optional<Record> r = StoredRecord();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->verdict, kInterrupted);
        EXPECT_TRUE(r->certificateNumber.isEmpty());
    }
}

// Another program holds the file's write lock while the run writes its
// points: held briefly, it is waited out and the record is whole; held past
// the busy timeout, the run ends "прервано" for the database. Either way the
// bench is never blamed.
TEST_F(DbFaultTest, WriteLockOfAnotherProgramIsTheDatabasesWait) {
    struct Case {
        const char* name;
        int holdMs;  // < 0: until the run ends
        int exit;
        QString verdict;
    } cases[] = {{"waited out", 6000, 0, kSuitable}, {"past the busy timeout", -1, 4, kInterrupted}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString dir = m_dir.filePath(QString::number(c.exit));
        QDir().mkpath(dir);
        m_url = dir + "/poverka.sqlite";
        ASSERT_TRUE(Prepare(m_url));
        BenchRun bench(dir);
        ASSERT_TRUE(bench.StartBench());
        QProcess verify;
        bench.StartVerify(verify, bench.WriteProcedure("3"), {"--db", m_url});
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-program");
            other.setDatabaseName(m_url);
            ASSERT_TRUE(other.open());
            QSqlQuery q(other);
            bool begun = false;
            for (int i = 0; i < 1500 && !begun; ++i) {
                begun = q.exec("SELECT count(*) FROM records") && q.next() && q.value(0).toInt() > 0;
                q.finish();
                if (!begun) QThread::msleep(20);
            }
            ASSERT_TRUE(begun);
            ASSERT_TRUE(q.exec("BEGIN EXCLUSIVE")) << q.lastError().text().toStdString();
            verify.waitForFinished(c.holdMs < 0 ? static_cast<int>(120000 * kBuildSlowdown)
                                                : c.holdMs);
            q.exec("COMMIT");
            q = QSqlQuery();
            other.close();
        }
        QSqlDatabase::removeDatabase("other-program");
        QString out, err;
        EXPECT_EQ(Finish(verify, &out, &err), c.exit) << err.toStdString();
        EXPECT_EQ(err.contains("база данных занята"), c.exit == 4) << err.toStdString();
        for (const QString& text : {out, err})
            EXPECT_FALSE(text.contains("генератор") || text.contains("не измерена")) << text.toStdString();
        // A record spooled is written back at this opening: its reasons name
        // the database only.
        const std::optional<Record> r = StoredRecord();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->verdict, c.verdict);
        EXPECT_EQ(r->points.size(), 3);
        EXPECT_EQ(r->reasons.join('\n').contains("база данных занята"), c.exit == 4)
            << r->reasons.join('\n').toStdString();
        for (const RecordPoint& p : r->points) EXPECT_FALSE(p.reason.contains("генератор"));
    }
}

}  // namespace
}  // namespace yukt::records::test
