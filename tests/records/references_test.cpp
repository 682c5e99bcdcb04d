// The laboratory's register of references: its revisions in the chain, the
// gate before a run, the references a record keeps, the records a
// reference made, and the settings' free-text means moved into it.
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/records_fixture.h"
#include "records/sql_references.h"
#include "verify/plan.h"

namespace yukt::records::test {
namespace {

verify::Plan PlanOf(std::initializer_list<verify::Quantity> quantities) {
    verify::Plan plan;
    for (verify::Quantity q : quantities) {
        verify::PlanItem it;
        it.kind = verify::OperationKind::Error;
        it.quantity = q;
        plan.items.push_back(it);
    }
    verify::PlanItem inspection;
    inspection.kind = verify::OperationKind::Inspection;
    plan.items.push_back(inspection);
    return plan;
}

// The gate at its edges, for each quantity a methodology measures with the
// generator: valid until the day passes, the day before does not; a warning
// from 30 days ahead, none at 31.
TEST(ReferenceGate, RefusesAndWarnsAtTheBoundaryDates) {
    const QDate day(2026, 11, 2);
    struct Case {
        const char* name;
        QDate until, from;
        bool retired, unknown;
        bool passes;
        QString says;  // in the refusal or the warning; empty: nothing said
    };
    const Case cases[] = {
        {"valid until the day", day, {}, false, false, true, "действителен до 02.11.2026 (осталось 0 дн.)"},
        {"until the day before", day.addDays(-1), {}, false, false, false,
         "эталон 3.1.ЗИР.0001.2026 действителен до 01.11.2026"},
        {"30 days ahead", day.addDays(30), {}, false, false, true, "осталось 30 дн."},
        {"31 days ahead", day.addDays(31), {}, false, false, true, ""},
        {"not yet valid", day.addDays(100), day.addDays(1), false, false, false,
         "действителен с 03.11.2026"},
        {"validity unknown", {}, {}, false, true, false, "эталон 3.1.ЗИР.0001.2026: срок не указан"},
        {"retired", day.addDays(100), {}, true, false, false, "нет эталона для величины"},
    };
    for (const char* quantity : {"current", "frequency", "interval", "count"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(quantity) + ": " + c.name);
            LabReference r = SampleReference("3.1.ЗИР.0001.2026", {quantity}, c.until);
            r.validFrom = c.from;
            r.retired = c.retired;
            // Another quantity's reference never stands in.
            const LabReference other =
                SampleReference("OTHER", {quantity == QString("count") ? "current" : "count"},
                          day.addDays(400));
            const ReferenceGate gate = CheckReferences({r, other}, {quantity}, day);
            EXPECT_EQ(gate.Passed(), c.passes) << gate.refusals.join('\n').toStdString();
            const QString said = (gate.refusals + gate.warnings).join('\n');
            if (c.says.isEmpty())
                EXPECT_TRUE(said.isEmpty()) << said.toStdString();
            else
                EXPECT_TRUE(said.contains(c.says)) << said.toStdString();
            EXPECT_EQ(gate.used.size(), c.passes ? 1 : 0);
        }
    }
}

class ReferencesTest : public EngineTest {};
RECORDS_ON_BOTH_ENGINES(ReferencesTest);

TEST_P(ReferencesTest, ChangesAreRevisionsInTheChainAndBadValuesAreRefusedByField) {
    auto store = Connect();
    const QDate until = QDate::currentDate().addYears(1);
    QString error;
    ASSERT_TRUE(AddReference(*store, SampleReference("3.1.A.1", {"current"}, until), &error))
        << error.toStdString();
    struct Bad {
        const char* name;
        std::function<void(LabReference&)> spoil;
        QString field;
    };
    const Bad bad[] = {
        {"duplicate number", [](LabReference&) {}, "--number: эталон 3.1.A.1 уже есть"},
        {"validity before its start",
         [&](LabReference& r) { r.validFrom = until.addDays(1); }, "--valid-until"},
        {"no validity", [](LabReference& r) { r.validUntil = {}; }, "--valid-until"},
        {"unknown quantity", [](LabReference& r) { r.quantities = {"voltage"}; },
         "--quantities: неизвестная величина «voltage»"},
        {"unknown kind", [](LabReference& r) { r.kind = "etalon"; }, "--kind"},
        {"number too long", [](LabReference& r) { r.number = QString(33, 'N'); }, "--number"},
        {"mis without its type", [](LabReference& r) { r.kind = kMisKind; r.number = "M"; },
         "--type-number"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        LabReference r = SampleReference("3.1.A.1", {"current"}, until);
        if (QString(b.name) != "duplicate number") r.number = "3.1.B.2";
        b.spoil(r);
        EXPECT_FALSE(AddReference(*store, r, &error));
        EXPECT_TRUE(error.startsWith("--") && error.contains(b.field)) << error.toStdString();
    }
    ASSERT_TRUE(RenewReference(*store, "3.1.A.1", "С-2", until.addYears(1), {}, {"current", "count"},
                               &error))
        << error.toStdString();
    ASSERT_TRUE(RetireReference(*store, "3.1.A.1", "найден неисправным", &error));
    EXPECT_FALSE(RenewReference(*store, "3.1.A.1", "С-3", until, {}, {}, &error));
    EXPECT_FALSE(RetireReference(*store, "нет такого", "x", &error));
    EXPECT_TRUE(error.contains("--number")) << error.toStdString();

    const std::optional<QList<LabReference>> all = LoadReferences(*store);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 1);
    EXPECT_EQ(all->front().revision, 2);
    EXPECT_TRUE(all->front().retired);
    EXPECT_EQ(all->front().certificate, "С-2");
    EXPECT_EQ(all->front().quantities, (QStringList{"current", "count"}));
    // Nothing is rewritten in place, whoever asks.
    QSqlQuery q(store->Database());
    EXPECT_FALSE(q.exec("UPDATE lab_references SET certificate = 'X'"));
    EXPECT_FALSE(q.exec("DELETE FROM lab_references"));
    ChainReport report;
    ASSERT_TRUE(store->VerifyChain(report));
    EXPECT_EQ(report.entries, 3);
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join('\n').toStdString();
}

// A record keeps the references it was opened with: a renewal later, or a
// correction of the record, changes nothing of it.
TEST_P(ReferencesTest, ARecordKeepsItsReferencesThroughARenewalAndACorrection) {
    auto store = Connect();
    const QDate today = QDate::currentDate();
    QString error;
    ASSERT_TRUE(AddReference(
        *store, SampleReference("3.1.A.1", {"current", "frequency"}, today.addDays(10)), &error));
    LabReference mis = SampleReference("M-1", {"frequency"}, today.addDays(200));
    mis.kind = kMisKind;
    mis.typeNumber = "55555-15";
    mis.serial = "C-77";
    ASSERT_TRUE(AddReference(*store, mis, &error)) << error.toStdString();
    Record r = SampleRecord();
    const std::optional<ReferenceGate> gate = GateRecord(
        *store, PlanOf({verify::Quantity::Current, verify::Quantity::Frequency}), today, r, &error);
    ASSERT_TRUE(gate && gate->Passed());
    EXPECT_EQ(gate->warnings.size(), 1);  // 3.1.A.1, ten days left
    ASSERT_TRUE(store->Begin(r)) << store->LastError().toStdString();
    ASSERT_TRUE(store->Close(r.id));
    ASSERT_TRUE(RenewReference(*store, "3.1.A.1", "С-9", today.addYears(2), {}, {}, &error));
    ASSERT_TRUE(store->Correct(r.id, r.info, "Петров П. П.", "опечатка"));
    const std::optional<Record> loaded = store->Load(r.id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->revision.number, 1);
    ASSERT_EQ(loaded->means.size(), 3);  // current: 3.1.A.1; frequency: 3.1.A.1, M-1
    for (const ReferenceUse& u : loaded->means) {
        if (u.number == "3.1.A.1") {
            EXPECT_EQ(u.certificate, "С-1");
            EXPECT_EQ(u.validUntil, today.addDays(10));
        }
    }
    // The registry's means come from what the record kept.
    EXPECT_EQ(loaded->lab.mietaNumbers, QStringList{"3.1.A.1"});
    EXPECT_TRUE(loaded->lab.uveNumbers.isEmpty());
    EXPECT_EQ(loaded->lab.misTypeNumber, "55555-15");
    ASSERT_TRUE(ChainWhole(*store));
}

// A point measured with a reference keeps U, the ratio and the marginal
// mark, in the chain; the protocol prints them in the point's row.
TEST_P(ReferencesTest, APointKeepsWhatItOwesToTheReference) {
    auto store = Connect();
    Record r = SampleRecord();
    r.means =
        CheckReferences({SampleReference("3.1.A.1", {"current"}, QDate::currentDate().addDays(90))},
                        {"current"}, QDate::currentDate())
            .used;
    ASSERT_TRUE(store->Begin(r));
    RecordPoint with = SamplePoint(12, 12.045);
    with.hasU = true;
    with.refRatio = 11.9;
    with.referenceError = 0.0042;
    with.u = 0.0125;
    with.marginal = true;
    RecordPoint without = SamplePoint(4, 4.01);
    QList<RecordPoint> points{with, without};
    ASSERT_TRUE(store->AddPoints(r.id, points)) << store->LastError().toStdString();
    ASSERT_TRUE(store->Close(r.id));
    const std::optional<Record> loaded = store->Load(r.id);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->points.size(), 2);
    EXPECT_TRUE(loaded->points[0].hasU && loaded->points[0].marginal);
    EXPECT_DOUBLE_EQ(loaded->points[0].u, 0.0125);
    EXPECT_DOUBLE_EQ(loaded->points[0].referenceError, 0.0042);
    EXPECT_FALSE(loaded->points[1].hasU);
    ASSERT_TRUE(ChainWhole(*store));

    const QString protocol = ProtocolPages(*loaded, "p.pdf").join('\f').simplified();
    // The row's cells wrap side by side: each piece on its own.
    for (const char* expected : {"0,0450 мА (U = 0,0125 мА,", "отношение 11,9)",
                                 "соответствует, близко", "к пределу", "current 3.1.A.1 mieta"})
        EXPECT_TRUE(protocol.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                                     << protocol.toStdString();
}

#ifdef YUKT_RECORDS_TOOL
int Tool(const QStringList& args, const QString& url, QString* out, QString* err = nullptr) {
    const ToolRun run = RunRecordsTool(args + QStringList{"--db", url});
    *out = run.out;
    if (err) *err = run.err;
    return run.status;
}

// The records a reference made, latest revision each, within the dates.
TEST_P(ReferencesTest, SuspectListsTheRecordsMadeWithAReference) {
    const QDate today = QDate::currentDate();
    QString out, err;
    ASSERT_EQ(Tool({"references", "add", "--kind", "mieta", "--number", "3.1.A.1", "--name",
                    "Калибратор", "--serial", "1", "--certificate", "С-1", "--valid-until",
                    today.addYears(1).toString(Qt::ISODate), "--quantities", "current"},
                   m_url, &out, &err),
              0)
        << err.toStdString();
    ASSERT_EQ(Tool({"references", "add", "--kind", "uve", "--number", "3.1.B.2", "--name", "Эталон",
                    "--serial", "2", "--certificate", "С-2", "--valid-until",
                    today.addYears(1).toString(Qt::ISODate), "--quantities", "current"},
                   m_url, &out),
              0);
    EXPECT_EQ(Tool({"references", "add", "--kind", "uve", "--number", "3.1.C.3", "--name", "Э",
                    "--serial", "2", "--certificate", "С-2", "--valid-until", "2026-02-30",
                    "--quantities", "current"},
                   m_url, &out, &err),
              2);
    EXPECT_TRUE(err.contains("--valid-until: не дата «2026-02-30»")) << err.toStdString();
    {
        auto store = Connect();
        const std::optional<QList<LabReference>> all = LoadReferences(*store);
        ASSERT_TRUE(all);
        for (const char* serial : {"S-1", "S-2"}) {
            Record r = SampleRecord();
            r.info.serial = serial;
            // The second record was made with 3.1.B.2 alone.
            QList<LabReference> used = *all;
            if (QString(serial) == "S-2") used.removeFirst();
            r.means = CheckReferences(used, {"current"}, today).used;
            ASSERT_TRUE(store->Begin(r));
            ASSERT_TRUE(store->Close(r.id));
        }
        Record s1 = *store->Load(1);
        s1.info.owner = "Новый владелец";
        ASSERT_TRUE(store->Correct(1, s1.info, "Петров", "владелец"));
    }
    const QString day = today.toString(Qt::ISODate);
    EXPECT_EQ(Tool({"suspect", "--reference", "3.1.A.1", "--from", day, "--to", day}, m_url, &out,
                   &err),
              0)
        << err.toStdString();
    EXPECT_TRUE(out.contains("S-1") && out.contains("Новый владелец") && !out.contains("S-2"))
        << out.toStdString();
    EXPECT_EQ(Tool({"suspect", "--reference", "3.1.B.2", "--json"}, m_url, &out), 0);
    EXPECT_EQ(out.count("\"record\""), 2) << out.toStdString();
    EXPECT_EQ(Tool({"suspect", "--reference", "3.1.A.1", "--from",
                    today.addDays(1).toString(Qt::ISODate)},
                   m_url, &out, &err),
              0);
    EXPECT_TRUE(err.contains("нет записей, сделанных эталоном 3.1.A.1")) << err.toStdString();
    EXPECT_EQ(Tool({"suspect", "--reference", "3.1.A.1", "--to", "вчера"}, m_url, &out, &err), 2);
    EXPECT_EQ(Tool({"suspect", "--reference", "3.1.A.1", "--from", day, "--to",
                    today.addDays(-1).toString(Qt::ISODate)},
                   m_url, &out, &err),
              2);
    EXPECT_TRUE(err.contains("--to: ")) << err.toStdString();
    EXPECT_EQ(Tool({"references", "due", "--days", "400"}, m_url, &out), 0);
    EXPECT_TRUE(out.contains("3.1.A.1") && out.contains("3.1.B.2")) << out.toStdString();
}

// A register changed behind the program's back is named like a record.
TEST(ReferencesTool, VerifyNamesAChangedOrMissingRevision) {
    QTemporaryDir dir;
    const QString url = dir.filePath("p.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(url));
        QString error;
        ASSERT_TRUE(AddReference(store, SampleReference("3.1.A.1", {"current"}, QDate(2027, 1, 1)),
                                 &error));
        ASSERT_TRUE(RenewReference(store, "3.1.A.1", "С-2", QDate(2028, 1, 1), {}, {}, &error));
        Record r = SampleRecord();
        r.means = CheckReferences(*LoadReferences(store), {"current"}, QDate(2026, 12, 1)).used;
        ASSERT_TRUE(store.Begin(r));
    }
    struct Case {
        const char* name;
        const char* sql;
        QString named;
    };
    const Case cases[] = {
        {"validity moved", "UPDATE lab_references SET valid_until = '2030-01-01' WHERE revision = 1",
         "звено 2, эталон 3.1.A.1, редакция 1: изменено"},
        {"revision removed", "DELETE FROM lab_references WHERE revision = 0", "звено 1: нет в базе"},
        {"record's reference changed", "UPDATE record_means SET certificate = 'С-9'",
         "запись № 1, эталон 3.1.A.1: изменено"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString copy = dir.filePath(QString(c.name) + ".sqlite");
        ASSERT_NO_FATAL_FAILURE(TamperedCopy(url, copy, {c.sql}));
        QString out, err;
        EXPECT_EQ(Tool({"verify"}, copy, &out, &err), 3) << err.toStdString();
        EXPECT_TRUE(out.contains(c.named)) << out.toStdString();
    }
}
#endif

// A database from before the register: the settings' free-text means become
// references of unknown validity, refused by the gate until renewed.
TEST_P(ReferencesTest, TheOldFreeTextMeansAreMovedOnceAndRefusedUntilRenewed) {
    const QString url = FreshDatabase();
    {
        auto old = Connect(url, sql::ReferencesVersion() - 1);
        for (const auto& [key, value] :
             {std::pair{"uve_numbers", "3.1.A.1; 3.1.B.2"}, std::pair{"mieta_numbers", "12345.67"},
              std::pair{"mis_type", "55555-15"}, std::pair{"mis_serial", "C-77"},
              std::pair{"calibrator", "КП ЗИРОК-М"}})
            ASSERT_TRUE(old->SetSetting(key, value));
    }
    auto store = Connect(url);
    const std::optional<QList<LabReference>> all = LoadReferences(*store);
    ASSERT_TRUE(all);
    QStringList numbers;
    for (const LabReference& r : *all) {
        numbers << r.kind + ":" + r.number;
        EXPECT_FALSE(r.validUntil.isValid());
        EXPECT_EQ(r.note, kValidityUnknown);
        EXPECT_EQ(r.name, "КП ЗИРОК-М");
        EXPECT_TRUE(r.quantities.contains("current") && r.quantities.contains("count"));
    }
    EXPECT_EQ(numbers, (QStringList{"mieta:12345.67", "uve:3.1.A.1", "uve:3.1.B.2", "mis:55555-15"}));
    const QDate today = QDate::currentDate();
    ReferenceGate gate = CheckReferences(*all, {"current"}, today);
    EXPECT_FALSE(gate.Passed());
    EXPECT_TRUE(gate.refusals.join("").contains("эталон 3.1.A.1: срок не указан"));
    QString error;
    // It has no serial number to renew it by, until one is given.
    EXPECT_FALSE(RenewReference(*store, "12345.67", "С-5", today.addYears(1), {}, {}, &error));
    EXPECT_TRUE(error.startsWith("--serial")) << error.toStdString();
    ASSERT_TRUE(RenewReference(*store, "12345.67", "С-5", today.addYears(1), {}, {}, &error, {},
                               "8841"))
        << error.toStdString();
    gate = CheckReferences(*LoadReferences(*store), {"current"}, today);
    EXPECT_TRUE(gate.Passed());
    ASSERT_EQ(gate.used.size(), 1);
    EXPECT_EQ(gate.used.front().number, "12345.67");
    // Once: a later opening adds nothing.
    auto again = Connect(url);
    EXPECT_EQ(LoadReferences(*again)->size(), 4);
    ChainReport report;
    ASSERT_TRUE(again->VerifyChain(report));
    EXPECT_EQ(report.entries, 5);
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join('\n').toStdString();
}

}  // namespace
}  // namespace yukt::records::test
