// What a metrologist signs without correcting: the interval is the
// methodology's, the reasons are words (the same in the record, the
// protocol and the registry, cut at whole reasons), a stopped repeat never
// hides a measured failure, the identification is printed once, and the
// protocol keeps its conclusion with its signatures and prints no "—".
#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "records/fgis_export.h"
#include "records/lab_settings.h"
#include "records/protocol_pdf.h"
#include "records/records_fixture.h"
#include "records/registry_rules.h"
#include "records/run_recorder.h"

namespace yukt::records::test {
namespace {

RecordPoint Attempt(int item, int number, const QString& result) {
    RecordPoint p;
    p.item = item;
    p.attempt = number;
    p.result = result;
    return p;
}

// A software check as the run stores it: the identification it found.
RecordPoint SoftwarePass() {
    RecordPoint p = Attempt(2, 1, "pass");
    p.remark = "ЮКТ - 748T.01A v10 (48T01A10)";
    return p;
}

RecordPoint ErrorAttempt(int item, int channel, double nominal, double error, int number = 1) {
    RecordPoint p = SamplePoint(nominal, nominal + error * 16 / 100, 0.2);
    p.operation = "7.4";
    p.channelNo = channel;
    p.channel = QString::number(channel);
    p.item = item;
    p.attempt = number;
    p.errorKind = "reduced";
    p.error = error;
    p.limit = 0.2;
    p.resolution = 0.01;
    p.spanLow = 4;
    p.spanHigh = 20;
    p.result = std::abs(error) <= 0.2 ? "pass" : "fail";
    return p;
}

const QString kErrorTitle = QStringLiteral("Определение приведённой погрешности");

// 7.1 inspection, 7.3 software, 7.4 on `channels` channels at 4 and 8 mA.
QList<PlanEntry> PlanOf(int channels) {
    QList<PlanEntry> plan = {{1, "7.1", "Внешний осмотр", "inspection", 0, 0, "", {}},
                             {2, "7.3", "Подтверждение соответствия ПО", "software", 0, 0, "", {}}};
    plan[1].acceptedVersions = {"10", "11"};
    int item = 3;
    for (int c = 1; c <= channels; ++c)
        for (double x : {4.0, 8.0}) plan << PlanEntry{item++, "7.4", kErrorTitle, "error", c, x, "мА", {}};
    return plan;
}

TEST(PlanReasons, InWordsPerChannelAndOperation) {
    const QList<PlanEntry> plan = PlanOf(6);
    RecordPoint look = Attempt(1, 1, "fail");
    look.remark = "скол корпуса";
    QList<RecordPoint> attempts = {look, SoftwarePass()};
    for (const PlanEntry& e : plan.mid(2)) {
        if (e.channelNo == 6) continue;  // never reached: the run was stopped
        attempts << ErrorAttempt(e.item, e.channelNo, e.nominal, e.channelNo == 5 ? 0.51 : 0.05);
    }
    attempts.last().result = "not measured";  // channel 5 at 8 mA, stopped
    attempts.last().reason = "остановлено оператором";
    attempts << ErrorAttempt(11, 5, 4, 0.51);  // 4 mA of channel 5, fails again
    attempts.last().attempt = 2;
    attempts << ErrorAttempt(12, 5, 8, 0.34, 2);  // measured after the stop
    const QStringList expected = {
        "7.1 Внешний осмотр: не соответствует — скол корпуса",
        "7.4 Определение приведённой погрешности, канал 5: 4 мА — погрешность 0,51 % при допуске "
        "±0,2 %; 8 мА — погрешность 0,34 % при допуске ±0,2 %",
        "7.4 Определение приведённой погрешности: не измерено — канал 6",
    };
    EXPECT_EQ(PlanReasons(plan, attempts), expected);
    EXPECT_EQ(VerdictOf(plan, attempts), kUnsuitable);
}

TEST(PlanReasons, CutForTheRegistryAtWholeReasons) {
    const QList<PlanEntry> plan = PlanOf(40);
    QList<RecordPoint> attempts = {Attempt(1, 1, "pass"), SoftwarePass()};
    for (const PlanEntry& e : plan.mid(2)) attempts << ErrorAttempt(e.item, e.channelNo, e.nominal, 0.25);
    const QStringList reasons = PlanReasons(plan, attempts);
    ASSERT_EQ(reasons.size(), 40);
    const QString cut = RegistryReasons(reasons);
    EXPECT_LE(CharCount(cut), 1024);
    EXPECT_GT(CharCount(cut), 1024 - reasons[0].size() - 4);
    ASSERT_TRUE(cut.endsWith("; …")) << cut.toStdString();
    // Whole reasons only: the text before "…" is the first reasons joined.
    const QString kept = cut.chopped(3);
    const int n = kept.count("; 7.4") + 1;
    EXPECT_EQ(kept, reasons.mid(0, n).join("; "));
}

// A failure stays when its repeat is stopped or cancelled; the stopped
// attempt is listed among the superseded ones.
TEST(RecordVerdict, AnUnmeasuredRepeatNeverSupersedesAMeasuredAttempt) {
    const QList<PlanEntry> plan = PlanOf(1);
    struct Case {
        const char* name;
        QList<RecordPoint> extra;  // after 7.1 and 7.3 passed once and 7.4 at 4 mA failed
        QString verdict;
    };
    const Case cases[] = {
        {"stopped repeat", {Attempt(3, 2, "not measured"), ErrorAttempt(4, 1, 8, 0.1)}, kUnsuitable},
        {"cancelled inspection after a refusal",
         {Attempt(1, 2, "fail"), Attempt(1, 3, "not measured"), ErrorAttempt(4, 1, 8, 0.1)},
         kUnsuitable},
        {"measured repeat", {ErrorAttempt(3, 1, 4, 0.1, 2), ErrorAttempt(4, 1, 8, 0.1)}, kSuitable},
        {"stop then a measured repeat",
         {Attempt(3, 2, "not measured"), ErrorAttempt(3, 1, 4, 0.1, 3), ErrorAttempt(4, 1, 8, 0.1)},
         kSuitable},
        {"a software pass without the identification proves nothing",
         {Attempt(2, 2, "pass"), ErrorAttempt(3, 1, 4, 0.1, 2), ErrorAttempt(4, 1, 8, 0.1)},
         kInterrupted},
    };
    for (const Case& c : cases) {
        QList<RecordPoint> attempts = {Attempt(1, 1, "pass"), SoftwarePass(),
                                       ErrorAttempt(3, 1, 4, 0.51)};
        if (QString(c.name).startsWith("a software")) attempts.removeAt(1);
        attempts += c.extra;
        EXPECT_EQ(VerdictOf(plan, attempts), c.verdict) << c.name;
    }
}

QStringList Pages(const Record& r) {
    return ProtocolPages(r, QStringLiteral("signable-%1.pdf").arg(r.plan.size()));
}

Record Closed(int channels) {
    Record r = SampleRecord();
    r.id = 7;
    r.state = RecordState::Closed;
    r.startedAt = r.finishedAt = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC);
    r.methodologyId = "МП 001-2026";
    r.methodologyRevision = 1;
    r.plan = PlanOf(channels);
    RecordPoint look = Attempt(1, 1, "pass");
    look.remark = "корпус без повреждений";
    RecordPoint soft = Attempt(2, 1, "pass");
    soft.remark = "ЮКТ - 748T.01A v10 (48T01A10)";  // as the run stores what it found
    r.points = {look, soft};
    for (const PlanEntry& e : r.plan.mid(2)) r.points << ErrorAttempt(e.item, e.channelNo, e.nominal, 0.05);
    r.verdict = kSuitable;
    r.certificateNumber = "2026/15";
    r.validUntil = QDate(2028, 12, 7);
    return r;
}

TEST(ProtocolDocument, IdentificationOnceAndNoneMeansNotDone) {
    Record r = Closed(2);
    r.softwareFound = "ЮКТ - 748T.01A v10 (48T01A10)";
    QString text = Pages(r).join('\f');
    EXPECT_EQ(text.count("48T01A10"), 1) << text.toStdString();
    EXPECT_TRUE(text.contains("Идентификация ПО: ЮКТ - 748T.01A v10 (48T01A10)"));
    EXPECT_TRUE(text.contains("Допускаемые версии ПО: 10, 11"));
    EXPECT_TRUE(text.contains(QRegularExpression("Идентификация ПО[^\n]*\n\\s*Допускаемые[^\n]*\n"
                                                 "\\s*Результат: соответствует")))
        << text.toStdString();

    // A workstation record of old: the run's attempt kept what it found.
    r.softwareFound.clear();
    text = Pages(r).join('\f');
    EXPECT_EQ(text.count("48T01A10"), 1) << text.toStdString();

    // Nothing found anywhere: never "соответствует".
    r.points[1].remark.clear();
    text = Pages(r).join('\f');
    EXPECT_TRUE(text.contains(
        QRegularExpression("Идентификация ПО: не получена\\s*\n[^\n]*\n\\s*Результат: не выполнена")))
        << text.toStdString();
}

TEST(ProtocolDocument, SupersededInATableConclusionWithSignaturesNoDash) {
    Record r = Closed(16);
    r.info.owner.clear();
    r.info.instrumentName.clear();
    r.info.methodology.clear();
    r.module.flashBefore.clear();
    r.module.flashAfter.clear();
    r.lab.misTypeNumber.clear();
    r.lab.misSerial.clear();
    // Channel 3 at 4 mA: failed, its repeat stopped, then measured again.
    r.points << ErrorAttempt(7, 3, 4, 0.25, 2) << Attempt(7, 3, "not measured");
    r.points.last().reason = "остановлено оператором";
    r.points << ErrorAttempt(7, 3, 4, 0.04, 4);
    const QStringList pages = Pages(r);
    ASSERT_GE(pages.size(), 2);
    const QString all = pages.join('\f');
    // No missing value printed as a dash, no field without a value.
    EXPECT_FALSE(all.contains(QRegularExpression("\\s—\\s*\n"))) << all.toStdString();
    EXPECT_FALSE(all.contains("Документ")) << all.toStdString();
    EXPECT_FALSE(all.contains("Адрес FLASH"));
    EXPECT_TRUE(all.contains(QRegularExpression("Владелец\\s+не указано")));
    // One table of the superseded attempts, with the stopped one.
    EXPECT_EQ(all.count("Заменённые попытки"), 1);
    EXPECT_TRUE(all.contains(QRegularExpression("\\s7\\s+3\\s+2\\s.*0,25 %\\s+не соответствует")))
        << all.toStdString();
    EXPECT_TRUE(all.contains(
        QRegularExpression("\\s7\\s+3\\s+3\\s.*не измерено: остановлено оператором")));
    EXPECT_FALSE(all.contains("Заменены повторным"));
    // The conclusion, the certificate and the signatures share the page of
    // the last results.
    const QString& last = pages.last();
    for (const char* part : {"Заключение", "Свидетельство о поверке № 2026/15", "Поверитель",
                             "Подпись", "График погрешности"})
        EXPECT_TRUE(last.contains(QString::fromUtf8(part))) << part << "\n" << last.toStdString();
}

// What the workstation and yukt-verify call with what the module gave.
TEST(FillIdentification, KeepsBothModulesOfAComposite) {
    struct Case {
        const char* first;
        const char* second;
        QString identText, identSuffix;  // the software identification ends with the texts
    };
    const Case cases[] = {
        {"48T01A10", "", "48T01A10", " v10 (48T01A10)"},
        {"45T01P11", "48X01A12", "45T01P11, 48X01A12", " (45T01P11, 48X01A12)"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        Record r = SampleRecord();
        r.module.identText.clear();
        FillIdentification(r, c.first, c.second);
        EXPECT_EQ(r.module.identText, c.identText);
        EXPECT_EQ(r.softwareFound.isEmpty(), c.identSuffix.isEmpty()) << r.softwareFound.toStdString();
        if (!c.identSuffix.isEmpty()) {
            EXPECT_TRUE(r.softwareFound.startsWith("ЮКТ - 7") &&
                        r.softwareFound.endsWith(c.identSuffix))
                << r.softwareFound.toStdString();
        }
    }
}

class ValidityTest : public EngineTest {};
RECORDS_ON_BOTH_ENGINES(ValidityTest);

// Validity = date + the methodology's interval − 1 day; the settings' interval
// of the model serves a record made without a methodology. The registry
// file takes the same date.
TEST_P(ValidityTest, TheMethodologysIntervalCounts) {
    auto store = Connect();
    LabSettings lab = SampleLabSettings();
    lab.intervalMonths["745t"] = 12;
    ASSERT_TRUE(lab.Save(*store));
    struct Case {
        int methodologyMonths;  // 0: no methodology
        int months;
    };
    for (const Case& c : {Case{24, 24}, Case{0, 12}}) {
        SCOPED_TRACE(c.methodologyMonths);
        Record r = SampleRecord();
        if (c.methodologyMonths) {
            r.methodologyId = "МП 001-2026";
            r.intervalMonths = c.methodologyMonths;
            r.plan = {{1, "7.1", "Внешний осмотр", "inspection", 0, 0, "", {}}};
        }
        ASSERT_TRUE(store->Begin(r)) << store->LastError().toStdString();
        RecordPoint p = c.methodologyMonths ? Attempt(1, 1, "pass") : SamplePoint(4, 4.01);
        ASSERT_TRUE(store->AddPoint(r.id, p)) << store->LastError().toStdString();
        ASSERT_TRUE(store->Close(r.id)) << store->LastError().toStdString();
        const std::optional<Record> back = Connect()->Load(r.id);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->verdict, kSuitable);
        EXPECT_EQ(back->intervalMonths, c.methodologyMonths);
        const QDate day = back->finishedAt.toLocalTime().date();
        EXPECT_EQ(back->validUntil, day.addMonths(c.months).addDays(-1));
        QBuffer xml;
        xml.open(QIODevice::WriteOnly);
        {
            FgisDocument doc(&xml);
            doc.Add(*back, false);
            doc.Finish();
        }
        EXPECT_TRUE(xml.data().contains(
            ("<validDate>" + FgisDate(day.addMonths(c.months).addDays(-1)) + "</validDate>").toUtf8()))
            << xml.data().toStdString();
    }
    ChainReport report;
    ASSERT_TRUE(store->VerifyChain(report)) << store->LastError().toStdString();
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join("\n").toStdString();
}

}  // namespace
}  // namespace yukt::records::test
