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
        return store.Open(url) && SetSampleLabSettings(store) && AddSampleReference(store);
    }
    // A PostgreSQL database reached through `proxy`, which meets the COMMIT
    // after `marker` with `what`; empty when the test is skipped.
    QString ProxiedDatabase(std::unique_ptr<TcpProxy>& proxy, const QByteArray& marker,
                            TcpProxy::AtCommit what) {
        QString why;
        PgServer* server = SharedPgServer(&why);
        if (server == nullptr) return {};
        m_url = PgServer::Provision(server->NewDatabase(&why), &why);
        if (m_url.isEmpty() || !Prepare(m_url)) return {};
        proxy = std::make_unique<TcpProxy>(PgSocket(server->SocketDir()), marker, what);
        const QString name = m_url.section('/', 3).section('?', 0, 0);
        return QStringLiteral("postgresql://poverka_station@127.0.0.1:%1/%2").arg(proxy->Port()).arg(name);
    }
    std::optional<Record> StoredRecord() {
        RecordStore store;
        if (!store.Open(m_url)) return std::nullopt;
        return store.Load(1);
    }
    static int Finish(QProcess& verify, QString* out, QString* err, double seconds = 120) {
        if (verify.state() != QProcess::NotRunning) {
            EXPECT_TRUE(verify.waitForFinished(static_cast<int>(seconds * 1000 * kBuildSlowdown)));
        }
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

// One table over the faults. The closing's COMMIT lost on the way (nothing
// written) or its answer lost (written): the program reads back before it
// says anything. A server that stops answering at a commit: the run is
// stopped once the call overruns --db-timeout, the verdict shown is
// "прервано", the message says the record's fate is unknown, the record
// left open ends "прервано"; a stop signal meanwhile sets the generator
// safe at once. Another program's write lock while the run writes its
// points: held briefly, it is waited out and the record is whole; held past
// the busy timeout, the run ends "прервано" for the database; either way the
// bench is never blamed.
TEST_F(DbFaultTest, RunUnderADatabaseFault) {
    enum Kind { Cut, Silent, Lock };
    struct Case {
        const char* name;
        Kind kind;
        QByteArray at;  // Cut, Silent: the statement whose commit is struck
        TcpProxy::AtCommit cut;
        int holdMs;         // Lock: < 0 until the run ends
        bool signal;        // SIGTERM once struck
        const char* delay;  // of the procedure's points
        int exit;
        const char* said;  // the verdict line
        QString verdict;   // the database's, once it is opened again
    } cases[] = {
        // SQLite first: the rest is skipped where no PostgreSQL server runs.
        {"lock waited out", Lock, {}, {}, 6000, false, "3", 0, "итог: годен", kSuitable},
        {"lock past the busy timeout",
         Lock,
         {},
         {},
         -1,
         false,
         "3",
         4,
         "итог: прервано",
         kInterrupted},
        {"closing's answer lost", Cut, kClosing, TcpProxy::AtCommit::CutAfter, 0, false, "0", 3,
         "итог: не годен", kUnsuitable},
        {"closing never sent", Cut, kClosing, TcpProxy::AtCommit::CutBefore, 0, false, "0", 4,
         "итог: прервано", kInterrupted},
        {"silent at the closing", Silent, kClosing, TcpProxy::AtCommit::Silent, 0, false, "0", 1,
         "итог: прервано", kInterrupted},
        {"silent at a point, SIGTERM", Silent, kPoint, TcpProxy::AtCommit::Silent, 0, true, "2", 1,
         "итог: прервано", kInterrupted},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString dir = m_dir.filePath(QString::number(++n));
        QDir().mkpath(dir);
        std::unique_ptr<TcpProxy> proxy;
        QString url;
        if (c.kind == Lock) {
            url = m_url = dir + "/poverka.sqlite";
            ASSERT_TRUE(Prepare(m_url));
        } else {
            url = ProxiedDatabase(proxy, c.at, c.cut);
            if (url.isEmpty()) GTEST_SKIP() << "no PostgreSQL server here";
        }
        BenchRun bench(dir);
        ASSERT_TRUE(bench.StartBench(c.kind == Cut ? QStringList{"--current-error", "0.1"}
                                                   : QStringList{}));
        // Longer than the record's opening takes on a loaded machine, and
        // than the signal takes to come.
        const QString limit = QString::number(static_cast<int>(8 * kBuildSlowdown));
        QStringList args{"--db", url};
        if (c.kind == Silent) args << "--db-timeout" << limit;
        QProcess verify;
        bench.StartVerify(verify, bench.WriteProcedure(c.delay), args);
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
        if (c.kind == Lock) {
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
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase("other-program");
        }
        QString out, err;
        EXPECT_EQ(Finish(verify, &out, &err, c.kind == Silent ? 40 : 120), c.exit)
            << err.toStdString();
        EXPECT_TRUE(out.contains(c.said)) << out.toStdString();
        if (c.kind != Lock) {
            EXPECT_TRUE(proxy->Struck());
        }
        if (c.kind == Silent) {
            EXPECT_LT(clock.elapsed(), 40000 * kBuildSlowdown);
            EXPECT_TRUE(err.contains("база данных записей не ответила за " + limit + " с") &&
                        err.contains("исход записи № 1 неизвестен"))
                << err.toStdString();
        }
        const bool busy = c.kind == Lock && c.exit == 4;
        if (c.kind == Lock) {
            EXPECT_EQ(err.contains("база данных занята"), busy) << err.toStdString();
            for (const QString& text : {out, err})
                EXPECT_FALSE(text.contains("генератор") || text.contains("не измерена"))
                    << text.toStdString();
        }
        proxy.reset();  // the server's side of a silent connection ends
        // A record spooled is written back at this opening: its reasons name
        // the database only.
        const std::optional<Record> r = StoredRecord();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->verdict, c.verdict);
        if (c.kind != Lock) {
            EXPECT_EQ(r->certificateNumber.isEmpty(), c.verdict == kInterrupted);
        }
        if (c.kind != Silent) {
            EXPECT_EQ(r->points.size(), 3);
        }
        EXPECT_EQ(r->reasons.join('\n').contains("база данных занята"), busy)
            << r->reasons.join('\n').toStdString();
        for (const RecordPoint& p : r->points) EXPECT_FALSE(p.reason.contains("генератор"));
    }
}

}  // namespace
}  // namespace yukt::records::test
