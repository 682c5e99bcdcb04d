// PostgreSQL stopped in the middle of a yukt-verify run: the run stops
// "прервано", the points go to the local spool, and the next opening after
// the server is back writes them into the record. The run's command line
// never shows the password it was given.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "records/pg_server.h"
#include "records/point_spool.h"
#include "records/record_store.h"

namespace yukt::records::test {
namespace {

class LostDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        if (!m_server.Start(&why)) {
            if (why.contains("absent")) GTEST_SKIP() << why.toStdString();
            FAIL() << why.toStdString();
        }
        m_url = m_server.NewDatabase(&why);
        ASSERT_FALSE(m_url.isEmpty()) << why.toStdString();
        // The spool of this test only, for the tool and for this process.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("data")));
        ASSERT_TRUE(StartBench());
    }
    void TearDown() override {
        qunsetenv("XDG_DATA_HOME");
        for (QProcess* p : {&m_verify, &m_bench})
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                p->waitForFinished(10000);
            }
    }
    bool StartBench() {
        QDir(m_dir.path()).mkdir("cfg");
        const QList<std::pair<QString, QByteArray>> files = {
            {"tp6606.cfg", ";\n"},
            {"tpCom.cfg", " 1    9600\n"},
            {"tp787x.cfg", "787x 1 1 23 1  4  6\n"},
            {"tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n"},
            {"tp745t.cfg", "745t 1 1 23 4 99.87 100.02 1 2500.0\n745t 2 1 23 6 100 100 1 2500.0\n"},
            {"p.toml",
             "title = \"745t\"\ndoc = \"МП 001-2026\"\nkinds = [1]\nchannel = 0\n"
             "quantity = \"current\"\npoints = [4, 8, 12, 16, 20, 4, 12]\n"
             "[error]\nkind = \"reduced\"\nlimit = 0.2\nrange = 20\n"
             "[settling]\ndelay = 1\nagree = 2\nband = 0.005\ntimeout = 20\nreadings = 2\n"}};
        for (const auto& [name, text] : files) {
            QFile f(m_dir.filePath("cfg/" + name));
            if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) return false;
        }
        m_bench.setStandardOutputFile(QProcess::nullDevice());
        m_bench.start(YUKT_BIN_DIR "/yukt-bench", {m_dir.filePath("com1"), "--module", "745t",
                                                   "--address", "6", "--switch", "verify"});
        for (int i = 0; i < 500 && !QFileInfo(m_dir.filePath("com1")).isSymLink(); ++i)
            QThread::msleep(20);
        return QFileInfo(m_dir.filePath("com1")).isSymLink();
    }
    // The next line yukt-verify prints, waiting for it.
    QByteArray NextLine() {
        while (!m_verify.canReadLine() && m_verify.state() != QProcess::NotRunning)
            m_verify.waitForReadyRead(30000);
        return m_verify.readLine().trimmed();
    }

    QTemporaryDir m_dir;
    PgServer m_server;
    QString m_url;
    QProcess m_bench, m_verify;
};

TEST_F(LostDatabaseTest, PointsOfARunCutOffAreSpooledAndWrittenBack) {
    const QString password = QStringLiteral("Hid3-Me");
    const QString withPassword = QString(m_url).replace("postgres@", "postgres:" + password + "@");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("YUKT_COM1", m_dir.filePath("com1"));
    m_verify.setProcessEnvironment(env);
    m_verify.start(YUKT_BIN_DIR "/yukt-verify",
                   {"--cfg", m_dir.filePath("cfg"), "--procedure", m_dir.filePath("cfg/p.toml"),
                    "--serial", "S-9", "--json", "--db", withPassword, "--operator", "Петров"});
    ASSERT_TRUE(m_verify.waitForStarted());
    QList<QByteArray> points;
    while (points.size() < 2) {
        const QByteArray line = NextLine();
        ASSERT_FALSE(line.isEmpty()) << m_verify.readAllStandardError().toStdString()
                                     << m_verify.readAllStandardOutput().toStdString();
        if (line.startsWith("{\"point\"")) points << line;
    }
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(m_verify.processId()));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QByteArray shown = cmdline.readAll();
    EXPECT_FALSE(shown.contains(password.toUtf8())) << shown.toStdString();
    EXPECT_TRUE(shown.contains(m_url.toUtf8()));

    m_server.Stop();
    QByteArray verdict;
    for (QByteArray line = NextLine(); !line.isEmpty(); line = NextLine()) {
        if (line.startsWith("{\"point\""))
            points << line;
        else
            verdict = line;
    }
    ASSERT_TRUE(m_verify.state() == QProcess::NotRunning || m_verify.waitForFinished(60000));
    const QString complaint = QString::fromLocal8Bit(m_verify.readAllStandardError());
    EXPECT_EQ(m_verify.exitCode(), 4) << complaint.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(verdict).object()["verdict"].toString(), "прервано");
    EXPECT_LT(points.size(), 7);
    EXPECT_TRUE(complaint.contains("база данных записей недоступна")) << complaint.toStdString();
    EXPECT_FALSE(complaint.contains(password));
    const QStringList spooled = QDir(SpoolDir()).entryList(QDir::Files);
    ASSERT_EQ(spooled.size(), 1);
    EXPECT_TRUE(complaint.contains(spooled[0]));

    QString why;
    ASSERT_TRUE(m_server.Resume(&why)) << why.toStdString();
    RecordStore store;
    ASSERT_TRUE(store.Open(m_url)) << store.LastError().toStdString();
    ASSERT_EQ(store.SpoolNotes().size(), 1);
    EXPECT_TRUE(store.SpoolNotes()[0].contains("дописана")) << store.SpoolNotes()[0].toStdString();
    EXPECT_TRUE(QDir(SpoolDir()).entryList(QDir::Files).isEmpty());
    const std::optional<Record> r = store.Load(1);
    ASSERT_TRUE(r) << store.LastError().toStdString();
    EXPECT_EQ(r->state, RecordState::Interrupted);
    EXPECT_EQ(r->verdict, kInterrupted);
    EXPECT_TRUE(r->reasons.join('\n').contains("база данных записей недоступна"));
    ASSERT_EQ(r->points.size(), points.size());
    const double nominals[] = {4, 8, 12, 16, 20, 4, 12};
    for (int i = 0; i < r->points.size(); ++i) {
        const QJsonObject printed = QJsonDocument::fromJson(points[i]).object();
        EXPECT_EQ(r->points[i].seq, i + 1);
        EXPECT_EQ(r->points[i].nominal, nominals[i]);
        EXPECT_EQ(r->points[i].result, printed["result"].toString());
    }
}

}  // namespace
}  // namespace yukt::records::test
