// Forgeries a workstation's own account could try in plain SQL, each with a
// correctly taken chain position so that only what it forges is refused,
// and refused by the database itself on both engines.
#include <QProcess>
#include <QSqlError>
#include <functional>
#include <QSqlQuery>
#include <QSqlRecord>

#include "records/records_fixture.h"
#include "records/sql_text.h"

namespace yukt::records::test {
namespace {

class ForgeryTest : public EngineTest {
  protected:
    bool Postgres() const { return QString(GetParam()) == "postgresql"; }

    // Runs `statement` with `binds` in one transaction; with `chained`, first
    // takes the counter's next chain position and the stored hash before it
    // and binds them last, as the program does. The database's error, empty
    // when it was accepted.
    QString Try(QSqlDatabase db, const QString& statement, QVariantList binds, bool chained,
                const QString& token = {}, const QString& prev = {}) {
        QSqlQuery q(db);
        if (!db.transaction()) return "no transaction";
        auto fail = [&](const QSqlQuery& failed) {
            const QString text = failed.lastError().text();
            db.rollback();
            return text.isEmpty() ? QString("failed") : text;
        };
        if (Postgres() && !token.isEmpty()) {
            q.prepare("SELECT set_config('yukt.run_token', ?, true)");
            q.addBindValue(token);
            if (!q.exec()) return fail(q);
        }
        if (chained) {
            if (!q.exec("UPDATE counters SET value = value + 1 WHERE name = 'chain' RETURNING value") ||
                !q.next())
                return fail(q);
            const qint64 seq = q.value(0).toLongLong();
            q.prepare(sql::kHashAt);
            for (int i = 0; i < sql::kChainTables; ++i) q.addBindValue(seq - 1);
            if (!q.exec()) return fail(q);
            const QString stored = q.next() ? q.value(0).toString() : QString(64, '0');
            binds << seq << (prev.isEmpty() ? stored : prev) << QString(64, 'f');
        }
        q.prepare(statement);
        for (const QVariant& v : binds) q.addBindValue(v);
        if (!q.exec()) return fail(q);
        if (!db.commit()) return fail(q);
        return {};
    }

    // Revision 0 of record `id` as stored, by column name.
    QVariantMap Row(QSqlDatabase db, qint64 id) {
        QSqlQuery q(db);
        q.exec("SELECT * FROM records WHERE revision = 0 AND id = " + QString::number(id));
        QVariantMap out;
        if (q.next())
            for (int i = 0; i < q.record().count(); ++i) out[q.record().fieldName(i)] = q.value(i);
        return out;
    }

    QString InsertRevision(QSqlDatabase db, QVariantMap row) {
        QStringList names, marks;
        QVariantList values;
        for (const QString& c : sql::RecordColumns()) {
            names << c;
            marks << "?";
            values << row.value(c);
        }
        return Try(db,
                   "INSERT INTO records (" + names.join(", ") +
                       ", chain_seq, chain_prev, chain_hash) VALUES (" + marks.join(", ") +
                       ", ?, ?, ?)",
                   values, true);
    }
};
RECORDS_ON_BOTH_ENGINES(ForgeryTest);

TEST_P(ForgeryTest, TheDatabaseRefusesWhatTheWorkstationCouldForge) {
    auto store = Connect();
    Record failed = SampleRecord();
    failed.plan = {{1, "5.4", "Погрешность", "error", 1, 4, "мА", {}}};
    ASSERT_TRUE(store->Begin(failed)) << store->LastError().toStdString();
    RecordPoint bad = SamplePoint(4, 4.2);
    bad.item = bad.attempt = 1;
    ASSERT_TRUE(store->AddPoint(failed.id, bad) && store->Close(failed.id))
        << store->LastError().toStdString();
    Record open = SampleRecord();
    ASSERT_TRUE(store->Begin(open));
    RecordPoint good = SamplePoint(4, 4.01);
    ASSERT_TRUE(store->AddPoint(open.id, good));
    const QString token = store->RunToken(open.id);
    ASSERT_FALSE(token.isEmpty());

    // Another program of the same account, with its own connection.
    auto forger = Connect();
    QSqlDatabase db = forger->Database();
    const QString pointInsert =
        "INSERT INTO points (record_id, seq, result, manual, measured_utc, run_token,"
        " chain_seq, chain_prev, chain_hash) VALUES (?, ?, 'pass', 0, '2026-01-01', ?, ?, ?, ?)";
    const QString closeOpen =
        QString("UPDATE records SET state = 'closed', verdict = ?, certificate = '2026/99',"
                " finished_utc = '2026-01-01'") +
        (Postgres() ? "" : ", run_token = ?") +
        ", close_seq = ?, close_prev = ?, close_hash = ? WHERE revision = 0 AND id = " +
        QString::number(open.id);
    auto closing = [&](const QString& verdict, const QString& with) {
        QVariantList binds{verdict};
        if (!Postgres()) binds << with;
        return binds;
    };
    QVariantMap forgedFit = Row(db, failed.id);
    forgedFit["revision"] = 1;
    forgedFit["verdict"] = kSuitable;
    forgedFit["certificate"] = "2026/99";
    QVariantMap otherOperator = Row(db, failed.id);
    otherOperator["revision"] = 1;
    otherOperator["operator_name"] = "Петров";
    struct Case {
        const char* name;
        std::function<QString()> attempt;
        const char* refusal;
    };
    const Case cases[] = {
        {"a revision saying годен", [&] { return InsertRevision(db, forgedFit); },
         "только описательные"},
        {"a revision changing the operator", [&] { return InsertRevision(db, otherOperator); },
         "только описательные"},
        {"a point in a closed record",
         [&] {
             return Try(db, pointInsert, {failed.id, 9, store->RunToken(open.id)}, true);
         },
         "своего прогона"},
        {"a point in another run's open record",
         [&] { return Try(db, pointInsert, {open.id, 9, "guessed"}, true); }, "своего прогона"},
        {"another run closing the record годен",
         [&] {
             return Try(db, closeOpen, closing(kSuitable, "guessed"), true);
         },
         "только её прогон"},
        {"its own run closing it against its points",
         [&] {
             return Try(db, closeOpen, closing(kUnsuitable, token), true, token);
         },
         "итог записи"},
        {"a point beyond the chain's counter",
         [&] {
             return Try(db,
                        "INSERT INTO points (record_id, seq, result, manual, measured_utc,"
                        " run_token, chain_seq, chain_prev, chain_hash) VALUES (?, 9, 'pass', 0,"
                        " '2026-01-01', ?, (SELECT value + 5 FROM counters WHERE name = 'chain'),"
                        " ?, ?)",
                        {open.id, token, QString(64, '0'), QString(64, 'f')}, false);
         },
         "место в цепочке"},
        {"a point linked to a hash of its choosing",
         [&] { return Try(db, pointInsert, {open.id, 9, token}, true, token, QString(64, 'a')); },
         "место в цепочке"},
        {"a record number not the counter's",
         [&] {
             return Try(db, "INSERT INTO record_ids (id, created_utc) VALUES (?, '2026-01-01')",
                        {open.id + 100}, false);
         },
         "номер записи"},
        {"a record stored already closed",
         [&] {
             return Try(db,
                        "INSERT INTO records (id, revision, workstation, pid, state, started_utc,"
                        " verdict, certificate, run_key, chain_seq, chain_prev, chain_hash)"
                        " VALUES (?, 0, 'x', 1, 'closed', '2026-01-01', 'годен', '2026/98', 'k',"
                        " ?, ?, ?)",
                        {open.id}, true);
         },
         "начинается открытой"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString error = c.attempt();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.refusal))) << error.toStdString();
    }
    // The same paths with nothing forged are taken: the refusals above are
    // for what was forged, not for how it was written.
    QVariantMap newOwner = Row(db, failed.id);
    newOwner["revision"] = 1;
    newOwner["owner"] = "ООО «Новый владелец»";
    EXPECT_EQ(InsertRevision(db, newOwner), "");
    EXPECT_EQ(Try(db, pointInsert, {open.id, 9, token}, true, token), "");
    // A dead run's record may be closed by anyone, as "прервано" only.
    EXPECT_FALSE(forger->Close(open.id)) << "годен by a program that did not begin it";
    ASSERT_TRUE(forger->Close(open.id, kInterrupted)) << forger->LastError().toStdString();

    const std::optional<Record> back = Connect()->Load(failed.id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->verdict, kUnsuitable);
    EXPECT_EQ(back->info.owner, "ООО «Новый владелец»");
    // Who wrote it, as the database saw it.
    QSqlQuery who(db);
    ASSERT_TRUE(who.exec("SELECT written_by, written_from, written_utc FROM points"
                         " WHERE record_id = " + QString::number(open.id) + " ORDER BY seq"));
    ASSERT_TRUE(who.next());
    EXPECT_FALSE(who.value(0).toString().isEmpty());
    EXPECT_FALSE(who.value(1).toString().isEmpty());
    EXPECT_TRUE(who.value(2).toString().startsWith("20"));
    if (Postgres()) {
        EXPECT_EQ(who.value(0).toString(), "poverka_station");
    }
}

#ifdef YUKT_RECORDS_TOOL
// An auditor with SELECT alone verifies: the check writes nothing.
TEST_P(ForgeryTest, AnAuditorThatOnlyReadsVerifies) {
    if (!Postgres()) GTEST_SKIP() << "SQLite: a read-only file is checked by RecordsTool";
    {
        auto store = Connect();
        Record r = SampleRecord();
        RecordPoint p = SamplePoint(4, 4.01);
        ASSERT_TRUE(store->Begin(r) && store->AddPoint(r.id, p) && store->Close(r.id));
    }
    auto owner = Connect(QString(m_url).replace("poverka_station@", "poverka_owner@"));
    QSqlQuery q(owner->Database());
    const QString db = owner->Database().databaseName();
    for (const QString& grant : {"GRANT CONNECT ON DATABASE " + db + " TO poverka_auditor",
                                 QString("GRANT USAGE ON SCHEMA public TO poverka_auditor"),
                                 QString("GRANT SELECT ON ALL TABLES IN SCHEMA public TO poverka_auditor")})
        ASSERT_TRUE(q.exec(grant)) << q.lastError().text().toStdString();
    const QString auditor = QString(m_url).replace("poverka_station@", "poverka_auditor@");
    const QStringList commands[] = {{"verify", "--db", auditor},
                                    {"report", "--db", auditor, "--html", m_dir.filePath("site")}};
    const char* said[] = {"Проверено звеньев цепочки: 3, нарушений: 0", "Отчёт записан"};
    for (int k = 0; k < 2; ++k) {
        const ToolRun r = RunRecordsTool(commands[k]);
        EXPECT_EQ(r.status, 0) << r.All().toStdString();
        EXPECT_TRUE(r.out.contains(said[k])) << r.All().toStdString();
    }
    // The journal's browsing opening, as the auditor.
    RecordStore journal;
    journal.SetQuietOpen(true);
    ASSERT_TRUE(journal.Open(auditor)) << journal.LastError().toStdString();
    const std::optional<Record> r = journal.Load(1);
    ASSERT_TRUE(r) << journal.LastError().toStdString();
    EXPECT_EQ(r->points.size(), 1);
}
#endif

// Corrections go through; the verdict, the certificate and the module stay.
TEST_P(ForgeryTest, ACorrectionChangesOnlyDescriptiveFields) {
    auto store = Connect();
    Record r = SampleRecord();
    RecordPoint p = SamplePoint(4, 4.01);
    ASSERT_TRUE(store->Begin(r) && store->AddPoint(r.id, p) && store->Close(r.id));
    RecordInfo info = r.info;
    info.owner = "АО «Завод»";
    info.conditions.temperature = 22.0;
    info.serial = "A-1025";
    ASSERT_TRUE(store->Correct(r.id, info, "Петров", "владелец")) << store->LastError().toStdString();
    info.operatorName = "Сидоров";
    EXPECT_FALSE(store->Correct(r.id, info, "Петров", "поверитель"));
    EXPECT_TRUE(store->LastError().contains("описательные")) << store->LastError().toStdString();
    ASSERT_TRUE(ChainWhole(*store));
}

}  // namespace
}  // namespace yukt::records::test
