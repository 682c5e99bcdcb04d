// The records store on both engines: points committed one by one, closing,
// corrections as revisions, interruption by a killed process, migrations and
// numbering from two connections at once.
#include <signal.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <thread>

#include "records/lab_settings.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

class StoreTest : public EngineTest {};
RECORDS_ON_BOTH_ENGINES(StoreTest);

TEST_P(StoreTest, PointsSurviveAndTheVerdictFollowsThem) {
    struct Case {
        const char* name;
        QList<double> measured;  // against nominals 4, 12, 20 with limit 0.05
        bool stopped;
        QString verdict;
        bool hasValidity;
    };
    const Case cases[] = {
        {"all pass", {4.01, 12.0, 19.98}, false, kSuitable, true},
        {"one fails", {4.01, 12.2, 19.98}, false, kUnsuitable, false},
        {"stopped", {4.01}, true, kInterrupted, false},
    };
    auto store = Connect();
    LabSettings lab;
    lab.intervalMonths["745t"] = 24;
    ASSERT_TRUE(lab.Save(*store));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record r = SampleRecord();
        ASSERT_TRUE(store->Begin(r)) << store->LastError().toStdString();
        const double nominals[] = {4, 12, 20};
        for (int i = 0; i < c.measured.size(); ++i) {
            RecordPoint p = SamplePoint(nominals[i], c.measured[i]);
            ASSERT_TRUE(store->AddPoint(r.id, p)) << store->LastError().toStdString();
            EXPECT_EQ(p.seq, i + 1);
        }
        ASSERT_TRUE(store->Close(r.id, c.stopped ? kInterrupted : QString()))
            << store->LastError().toStdString();
        // A second close is refused: a closed record stays as it was.
        EXPECT_FALSE(store->Close(r.id, kSuitable));

        auto other = Connect();
        const std::optional<Record> back = other->Load(r.id);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->verdict, c.verdict);
        EXPECT_EQ(back->points.size(), c.measured.size());
        EXPECT_EQ(back->info.owner, r.info.owner);
        EXPECT_EQ(back->lab.uveNumbers, r.lab.uveNumbers);
        ASSERT_TRUE(back->info.conditions.temperature);
        EXPECT_DOUBLE_EQ(*back->info.conditions.temperature, 21.5);
        EXPECT_DOUBLE_EQ(back->points.last().measured, c.measured.last());
        EXPECT_EQ(back->points.first().readings.size(), 2);
        EXPECT_EQ(back->validUntil.isValid(), c.hasValidity);
        if (c.hasValidity) {
            const QDate day = back->finishedAt.toLocalTime().date();
            EXPECT_EQ(back->validUntil, day.addMonths(24).addDays(-1));
        }
        EXPECT_EQ(back->certificateNumber.isEmpty(), c.verdict == kInterrupted);
        if (c.verdict == kUnsuitable) {
            EXPECT_TRUE(back->certificateNumber.startsWith("И-"));
            EXPECT_EQ(back->reasons.size(), 1);
        }
    }
}

TEST_P(StoreTest, ACorrectionIsANewRevisionAndTheOriginalRemains) {
    auto store = Connect();
    Record r = SampleRecord();
    ASSERT_TRUE(store->Begin(r));
    RecordPoint p = SamplePoint(4, 4.01);
    ASSERT_TRUE(store->AddPoint(r.id, p));
    RecordInfo fixed = r.info;
    fixed.serial = "A-1025";
    EXPECT_FALSE(store->Correct(r.id, fixed, "Петров", "опечатка")) << "open record corrected";
    ASSERT_TRUE(store->Close(r.id));
    EXPECT_FALSE(store->Correct(r.id, fixed, "Петров", "")) << "a correction needs a reason";
    ASSERT_TRUE(store->Correct(r.id, fixed, "Петров", "опечатка в номере"))
        << store->LastError().toStdString();

    const std::optional<Record> latest = store->Load(r.id);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->revision.number, 1);
    EXPECT_EQ(latest->revision.author, "Петров");
    EXPECT_EQ(latest->revision.reason, "опечатка в номере");
    EXPECT_EQ(latest->info.serial, "A-1025");
    EXPECT_EQ(latest->verdict, kSuitable);
    EXPECT_EQ(latest->points.size(), 1);
    const std::optional<Record> original = store->Load(r.id, 0);
    ASSERT_TRUE(original);
    EXPECT_EQ(original->info.serial, "A-1024");
}

TEST_P(StoreTest, ARecordOfAKilledProcessBecomesInterruptedWithItsPoints) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("RECORDS_CHILD_URL", m_url);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    ASSERT_TRUE(child.waitForReadyRead(30000)) << child.readAllStandardError().toStdString();
    const qint64 id = child.readLine().trimmed().toLongLong();
    ASSERT_GT(id, 0);
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(10000));

    auto store = Connect();
    EXPECT_EQ(store->InterruptedAtOpen(), QList<qint64>{id});
    const std::optional<Record> r = store->Load(id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->state, RecordState::Interrupted);
    EXPECT_EQ(r->verdict, kInterrupted);
    EXPECT_EQ(r->points.size(), 2);
    // A record open in a live process is left alone.
    Record live = SampleRecord();
    ASSERT_TRUE(store->Begin(live));
    auto second = Connect();
    EXPECT_TRUE(second->InterruptedAtOpen().isEmpty());
}

TEST_P(StoreTest, TheFirstSchemaIsMigratedAndANewerOneRefused) {
    qint64 id = 0;
    {
        auto v1 = Connect(1);
        EXPECT_EQ(v1->SchemaVersion(), 1);
        Record r = SampleRecord();
        ASSERT_TRUE(v1->Begin(r)) << v1->LastError().toStdString();
        id = r.id;
        ASSERT_TRUE(v1->SetSetting("organisation", "Лаборатория"));
    }
    {
        auto latest = Connect();
        EXPECT_EQ(latest->SchemaVersion(), 2);
        RecordPoint p = SamplePoint(20, 20.01);
        ASSERT_TRUE(latest->AddPoint(id, p)) << latest->LastError().toStdString();
        const std::optional<Record> r = latest->Load(id);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->info.serial, "A-1024");
        EXPECT_EQ(r->points.value(0).unit, "мА");
        EXPECT_EQ(latest->Setting("organisation"), "Лаборатория");
        QSqlQuery q(latest->Database());
        ASSERT_TRUE(q.exec("UPDATE schema_version SET version = 99"));
    }
    RecordStore refused;
    EXPECT_FALSE(refused.Open(m_url));
    EXPECT_TRUE(refused.LastError().contains("99")) << refused.LastError().toStdString();
}

TEST_P(StoreTest, TwoConnectionsNeverShareARecordOrCertificateNumber) {
    constexpr int kEach = 25;
    QList<qint64> ids[2];
    QStringList certificates[2];
    QString errors[2];
    auto work = [&](int k) {
        RecordStore store;
        if (!store.Open(m_url)) {
            errors[k] = store.LastError();
            return;
        }
        for (int i = 0; i < kEach; ++i) {
            Record r = SampleRecord();
            RecordPoint p = SamplePoint(4, 4.0);
            if (!store.Begin(r) || !store.AddPoint(r.id, p) || !store.Close(r.id)) {
                errors[k] = store.LastError();
                return;
            }
            ids[k] << r.id;
            certificates[k] << store.Load(r.id)->certificateNumber;
        }
    };
    {
        auto prepare = Connect();  // migrate once before the race
    }
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    ASSERT_TRUE(errors[0].isEmpty()) << errors[0].toStdString();
    ASSERT_TRUE(errors[1].isEmpty()) << errors[1].toStdString();
    const QList<qint64> allIds = ids[0] + ids[1];
    const QStringList allCerts = certificates[0] + certificates[1];
    EXPECT_EQ(QSet<qint64>(allIds.begin(), allIds.end()).size(), 2 * kEach);
    EXPECT_EQ(QSet<QString>(allCerts.begin(), allCerts.end()).size(), 2 * kEach);
}

TEST(DbUrl, ParsesBothEngines) {
    struct Case {
        QString url;
        QString driver, database, host, user;
        int port;
    };
    const Case cases[] = {
        {"/var/lib/poverka/poverka.sqlite", "QSQLITE", "/var/lib/poverka/poverka.sqlite", "", "",
         -1},
        {"sqlite:///tmp/p.sqlite", "QSQLITE", "/tmp/p.sqlite", "", "", -1},
        {"postgresql://lab@db.local:5433/poverka", "QPSQL", "poverka", "db.local", "lab", 5433},
        {"postgresql://lab@/poverka?host=/run/pg", "QPSQL", "poverka", "/run/pg", "lab", -1},
    };
    for (const Case& c : cases) {
        QString error;
        const std::optional<DbUrl> u = ParseDbUrl(c.url, &error);
        ASSERT_TRUE(u) << c.url.toStdString();
        EXPECT_EQ(u->driver, c.driver);
        EXPECT_EQ(u->database, c.database);
        EXPECT_EQ(u->host, c.host);
        EXPECT_EQ(u->user, c.user);
        EXPECT_EQ(u->port, c.port);
    }
    QString error;
    EXPECT_FALSE(ParseDbUrl("postgresql://lab@host/", &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace yukt::records::test
