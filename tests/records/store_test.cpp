// The records store on both engines: points committed one by one, closing,
// corrections as revisions, interruption by a killed process, migrations and
// numbering from two connections at once.
#include <signal.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <thread>

#include "records/lab_settings.h"
#include "records/protocol_pdf.h"
#include "records/records_fixture.h"
#include "records/sql_text.h"

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
    {
        // Browsing (the journal) closes nothing: a recording program does.
        RecordStore journal;
        journal.SetQuietOpen(true);
        ASSERT_TRUE(journal.Open(m_url)) << journal.LastError().toStdString();
        EXPECT_TRUE(journal.InterruptedAtOpen().isEmpty());
        const std::optional<Record> seen = journal.Load(id);
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->state, RecordState::Open);
    }

    auto store = Connect();
    EXPECT_EQ(store->InterruptedAtOpen(), QList<qint64>{id});
    const std::optional<Record> r = store->Load(id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->state, RecordState::Interrupted);
    EXPECT_EQ(r->verdict, kInterrupted);
    EXPECT_EQ(r->points.size(), 2);
    EXPECT_EQ(r->reasons, QStringList{"работа программы прервана"});
    EXPECT_EQ(r->finishedAt, r->startedAt) << "the run's own date, not the day it was found";
    // A record open in a live process is left alone.
    Record live = SampleRecord();
    ASSERT_TRUE(store->Begin(live));
    auto second = Connect();
    EXPECT_TRUE(second->InterruptedAtOpen().isEmpty());
}

// A database of the previous version, written as that version wrote it.
void FillRound2(QSqlDatabase db) {
    const QStringList statements = {
        "INSERT INTO record_ids VALUES (7, '2025-03-01T08:00:00.000Z')",
        "INSERT INTO records (id, revision, workstation, pid, state, started_utc, finished_utc,"
        " verdict, certificate, valid_until, model, serial, operator_name, sign_cipher,"
        " temperature, kind) VALUES (7, 0, 'old', 1, 'closed', '2025-03-01T08:00:00.000Z',"
        " '2025-03-01T08:30:00.000Z', 'годен', '2025/7', '2026-02-28', '745t', 'B-7', 'Иванов',"
        " 'ЛАБ', 21.5, 2)",
        "INSERT INTO records (id, revision, revised_by, revision_reason, workstation, pid, state,"
        " started_utc, verdict, certificate, model, serial, operator_name) VALUES (7, 1, 'Петров',"
        " 'опечатка', 'old', 1, 'closed', '2025-03-01T08:00:00.000Z', 'годен', '2025/7', '745t',"
        " 'B-8', 'Иванов')",
        "INSERT INTO points (record_id, seq, procedure_name, nominal, reference, readings,"
        " measured, error_kind, error, limit_value, result, manual, measured_utc, unit)"
        " VALUES (7, 1, 'ток 745t', 4, 4, '4.01 4.0100000000000001', 4.01, 'abs', 0.01, 0.05,"
        " 'pass', 0, '2025-03-01T08:10:00.000Z', 'мА')",
    };
    QSqlQuery q(db);
    for (const QString& s : statements) ASSERT_TRUE(q.exec(s)) << q.lastError().text().toStdString();
}

TEST_P(StoreTest, ARound2DatabaseIsMigratedReadableAndChained) {
    const QString url = FreshDatabase();
    FillRound2(Connect(url, 2)->Database());
    auto latest = Connect(url);
    EXPECT_EQ(latest->SchemaVersion(), sql::LatestVersion());
    const std::optional<Record> r = latest->Load(7);
    ASSERT_TRUE(r) << latest->LastError().toStdString();
    EXPECT_EQ(r->info.serial, "B-8");
    EXPECT_EQ(r->certificateNumber, "2025/7");
    ASSERT_EQ(r->points.size(), 1);
    EXPECT_DOUBLE_EQ(r->points[0].readings.value(1), 4.01);
    EXPECT_TRUE(r->plan.isEmpty());
    EXPECT_EQ(r->chainHash.size(), 64);
    ChainReport report;
    ASSERT_TRUE(latest->VerifyChain(report)) << latest->LastError().toStdString();
    EXPECT_EQ(report.entries, 4);  // opening, point, closure, correction
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join('\n').toStdString();
    QByteArray pdf;
    QBuffer out(&pdf);
    out.open(QIODevice::WriteOnly);
    WriteProtocolPdf(*r, &out);
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    QSqlQuery q(latest->Database());
    ASSERT_TRUE(q.exec("UPDATE schema_version SET version = 99"));
    RecordStore refused;
    EXPECT_FALSE(refused.Open(url));
    EXPECT_TRUE(refused.LastError().contains("99")) << refused.LastError().toStdString();
}

// Plain SQL as the workstation would send it: nothing recorded changes.
TEST_P(StoreTest, WhatWasRecordedCannotBeChangedOrRemoved) {
    auto store = Connect();
    Record closed = SampleRecord(), open = SampleRecord();
    closed.plan = {{1, "5.1", "Внешний осмотр", "inspection", 0, 0, "", {}}};
    ASSERT_TRUE(store->Begin(closed) && store->Begin(open)) << store->LastError().toStdString();
    RecordPoint p = SamplePoint(4, 4.2);
    p.item = 1;
    ASSERT_TRUE(store->AddPoint(closed.id, p) && store->Close(closed.id));
    const QString c = QString::number(closed.id), o = QString::number(open.id);
    QStringList attempts = {
        "UPDATE records SET verdict = 'годен', certificate = '2026/99' WHERE id = " + c,
        "UPDATE records SET state = 'closed', close_hash = 'x', close_seq = 999 WHERE id = " + c,
        "UPDATE records SET state = 'closed', close_hash = 'x', close_seq = 999, serial = 'Z'"
        " WHERE id = " + o,
        "DELETE FROM records WHERE id = " + c,
        "UPDATE points SET measured = 4.0, result = 'pass'",
        "DELETE FROM points",
        "UPDATE plan_items SET kind = 'error'",
        "DELETE FROM plan_items",
        "DELETE FROM record_ids WHERE id = " + o,
        "UPDATE counters SET value = 1",
        "DELETE FROM counters",
    };
    // On PostgreSQL the owner is refused by the triggers as the workstation is
    // by its rights and the triggers both.
    std::unique_ptr<RecordStore> owner;
    if (QString(GetParam()) == "postgresql") {
        attempts << "TRUNCATE points" << "TRUNCATE records CASCADE";
        owner = Connect(QString(m_url).replace("poverka_station@", "poverka_owner@"));
    }
    for (RecordStore* as : {store.get(), owner.get()})
        for (const QString& statement : attempts) {
            if (!as) continue;
            QSqlQuery q(as->Database());
            EXPECT_FALSE(q.exec(statement)) << statement.toStdString();
        }
    if (owner) {
        EXPECT_FALSE(QSqlQuery(store->Database()).exec("ALTER TABLE points DISABLE TRIGGER ALL"));
    }
    const std::optional<Record> back = Connect()->Load(closed.id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->verdict, kUnsuitable);
    EXPECT_EQ(back->points.value(0).measured, 4.2);
    EXPECT_EQ(back->plan.size(), 1);
    ASSERT_TRUE(ChainWhole(*store));
}

// The latest attempt per plan item decides; a certificate only for the whole plan.
TEST_P(StoreTest, ARecordWithAPlanIsJudgedByItsLatestAttempts) {
    struct Case {
        const char* name;
        QList<QPair<int, bool>> attempts;  // item, passed
        QString verdict;
        QString reason;  // the line the record names it by; empty: no reasons
    };
    const Case cases[] = {
        {"every item passed", {{1, true}, {2, true}}, kSuitable, ""},
        {"a failure, then stopped", {{1, false}}, kUnsuitable,
         "5.4 Погрешность: не измерено — канал 11"},
        {"re-measured after a failure", {{1, false}, {1, true}, {2, true}}, kSuitable, ""},
        {"a pass superseded by a failure", {{1, true}, {2, true}, {2, false}}, kUnsuitable,
         "5.4 Погрешность, канал 11: 20 мА — погрешность 0,20 мА при допуске ±0,05 мА"},
        {"an item never measured", {{2, true}}, kInterrupted, "5.1 Внешний осмотр: не выполнена"},
    };
    auto store = Connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record r = SampleRecord();
        r.methodologyId = "МП 001-2026";
        r.methodologyRevision = 2;
        r.methodologySha256 = QString(64, 'b');
        r.softwareFound = "745t v01";
        r.plan = {{1, "5.1", "Внешний осмотр", "inspection", 0, 0, "", {}},
                  {2, "5.4", "Погрешность", "error", 11, 20, "мА", {}}};
        ASSERT_TRUE(store->Begin(r)) << store->LastError().toStdString();
        QHash<int, int> tries;
        for (const auto& [item, passed] : c.attempts) {
            RecordPoint p = SamplePoint(20, passed ? 20.01 : 20.2);
            p.item = item;
            p.attempt = ++tries[item];
            p.operation = r.plan[item - 1].operation;
            p.channelNo = r.plan[item - 1].channelNo;
            p.resolution = 0.01;
            ASSERT_TRUE(store->AddPoint(r.id, p)) << store->LastError().toStdString();
        }
        // The run's own word does not override the plan.
        ASSERT_TRUE(store->Close(r.id, kInterrupted)) << store->LastError().toStdString();
        const std::optional<Record> back = Connect()->Load(r.id);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->verdict, c.verdict);
        if (c.reason.isEmpty())
            EXPECT_TRUE(back->reasons.isEmpty()) << back->reasons.join('|').toStdString();
        else
            EXPECT_TRUE(back->reasons.contains(c.reason)) << back->reasons.join('|').toStdString();
        EXPECT_EQ(back->validUntil.isValid(), c.verdict == kSuitable);
        EXPECT_EQ(back->certificateNumber.isEmpty(), c.verdict == kInterrupted);
        EXPECT_EQ(back->methodologySha256, r.methodologySha256);
        EXPECT_EQ(back->softwareFound, "745t v01");
        ASSERT_EQ(back->plan.size(), 2);
        EXPECT_EQ(back->plan[1].channelNo, 11);
        EXPECT_EQ(back->points.last().attempt, tries[back->points.last().item]);
        EXPECT_EQ(back->points.last().resolution, 0.01);
    }
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
            // The second writes a series step's three points in one commit.
            QList<RecordPoint> step{p, SamplePoint(8, 8.0), SamplePoint(12, 12.0)};
            if (!store.Begin(r) ||
                !(k == 0 ? store.AddPoint(r.id, p) : store.AddPoints(r.id, step)) ||
                !store.Close(r.id)) {
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
    ChainReport chain;  // and one chain, in one order, from both
    ASSERT_TRUE(Connect()->VerifyChain(chain));
    EXPECT_EQ(chain.entries, kEach * 3 + kEach * 5);
    EXPECT_TRUE(chain.problems.isEmpty()) << chain.problems.join('\n').toStdString();
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
