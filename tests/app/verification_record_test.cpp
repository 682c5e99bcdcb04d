// The record the window makes of a verification on the simulated bench:
// "Сведения о поверке" when the page opens, "В протокол" and "Автоповерка"
// adding points, "Закончить поверку" closing it; read back from the SQLite
// file in the program folder.

#include "app/verification_record.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <cmath>

#include "app/auto_run.h"
#include "app/auto_run_window.h"
#include "app/error_chart.h"
#include "app/plan_view.h"
#include "app/record_info_dialog.h"
#include "app/verification_session.h"
#include "common/text.h"
#include "page_rig.h"
#include "records/protocol_pdf.h"
#include "records/record_store.h"
#include "verify/methodology.h"
#include "verify/procedure_library.h"
#include "widgets/color_button.h"
#include "widgets/speed_button.h"

using namespace yukt;
using namespace yukt::testing;
using namespace yukt::records;

namespace {

// Answers the dialog as the operator does: the offered values kept, the
// serial number and the operator typed.
bool fillIn(RecordInfo& info) {
    TRecordInfoDialog dialog(info);
    dialog.findChild<QLineEdit*>("Serial")->setText("A-17");
    dialog.findChild<QLineEdit*>("Operator")->setText("Петров П. П.");
    dialog.accept();
    info = dialog.Info();
    return dialog.result() == QDialog::Accepted;
}

void setError(PageRig& rig, double mA) {
    auto lk = rig.bench.lock();
    rig.bench.physics().currentErrorMa = mA;
}

// Two points of 4 mA and `last`, the run the records expect: a procedure
// file, read as the workstation reads it (into a methodology).
verify::Methodology twoPointRun(double last) {
    verify::ProcedureError e;
    return *verify::ParseMethodology(
        "title = \"745t\"\ndoc = \"МП\"\nkinds = [1]\nchannel = 0\nquantity = \"current\"\n"
        "points = [4, " +
            FloatToStr(last) +
            "]\n[error]\nkind = \"abs\"\nlimit = 0.05\n"
            "[settling]\ndelay = 0\nagree = 2\nband = 0.005\ntimeout = 10\nreadings = 2\n",
        "p.toml", e);
}

std::optional<Record> stored(PageRig& rig, qint64 id) {
    RecordStore store;
    if (!store.Open(QString::fromStdString(rig.dir() + "poverka.sqlite"))) return std::nullopt;
    return store.Load(id);
}

// A page of the window on the bench with the operator's details given (or
// the dialog declined), the user's folder (methodologies, spool) its own.
struct RecordRig {
    explicit RecordRig(bool answer = true) {
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        if (answer) rig.dialogs.recordInfo = fillIn;
    }
    // The folder of the user's own methodologies, empty.
    bool ownMethodologies() { return QDir(home.path()).mkpath("poverka/methodologies"); }
    TMainForm& open(const std::string& model, double errorMa = 0) {
        setError(rig, errorMa);
        f = &rig.openPage(model);
        record = f->findChild<TVerificationRecord*>("VerificationRecord");
        return *f;
    }
    // `mA` set by hand on the current page and polled, then "В протокол".
    bool manualPoint(const QString& mA) {
        f->le787xCur->setText(mA);
        QTest::mouseClick(f->Start787xBtn, Qt::LeftButton);
        if (!rig.poll()) return false;
        QTest::mouseClick(record->CurBtn, Qt::LeftButton);
        return rig.dialogs.calls.empty();
    }
    // "Закончить поверку": the record as stored.
    std::optional<Record> close() {
        const qint64 id = record->Id();
        QTest::mouseClick(f->EndCheckBtn, Qt::LeftButton);
        return stored(rig, id);
    }

    QTemporaryDir home;
    PageRig rig;
    TMainForm* f = nullptr;
    TVerificationRecord* record = nullptr;
};

}  // namespace

class VerificationRecordTest : public QObject {
    Q_OBJECT

  private slots:
    void manualPointsAndClose_data();
    void manualPointsAndClose();
    void manualFrequencyPoint();
    void handPointOwesTheReference_data();
    void handPointOwesTheReference();
    void declinedDialogLeavesTheManualPage();
    void automaticRunGoesIntoTheOpenRecord();
    void windowClosedMidVerificationInterrupts();
    void moduleRunRecordsThePlan_data();
    void moduleRunRecordsThePlan();
    void lostDatabaseKeepsTheManualPoint();
};

void VerificationRecordTest::manualPointsAndClose_data() {
    QTest::addColumn<bool>("procedures");
    QTest::addColumn<double>("errorMa");
    QTest::addColumn<QString>("result");
    QTest::addColumn<double>("limit");
    QTest::addColumn<QString>("verdict");
    // The shipped 745t procedure: reduced error of a 20 mA range, 0,2 %.
    // The record closes by its plan's verdict: one passed point leaves the
    // plan's other items unmeasured, so the record is not "годен".
    QTest::newRow("pass") << true << 0.01 << "pass" << 0.2 << kInterrupted;
    QTest::newRow("fail") << true << 0.1 << "fail" << 0.2 << kUnsuitable;
    // No procedure, no limit: kept, but it can never make the module fit.
    QTest::newRow("no limit") << false << 0.01 << "not measured" << 0.0 << kInterrupted;
}

void VerificationRecordTest::manualPointsAndClose() {
    QFETCH(bool, procedures);
    QFETCH(double, errorMa);
    QFETCH(QString, result);
    QFETCH(double, limit);
    QFETCH(QString, verdict);
    RecordRig t;
    if (!procedures) QVERIFY(t.ownMethodologies());
    TMainForm& f = t.open("745t", errorMa);
    TVerificationRecord* record = t.record;
    QVERIFY(record && record->IsOpen());
    QVERIFY(!record->CurBtn->isHidden());

    QVERIFY2(t.manualPoint("12"), qPrintable(t.rig.lastMessage()));
    const std::optional<Record> r = t.close();
    QVERIFY(!record->IsOpen());
    QVERIFY(record->CurBtn->isHidden());
    QVERIFY(r);
    QCOMPARE(r->state, verdict == kInterrupted ? RecordState::Interrupted : RecordState::Closed);
    QCOMPARE(r->module.model, QString("745t"));
    QCOMPARE(r->module.designation, QString::fromStdString(f.ModuleDesignation));
    QVERIFY(!f.ModuleIdent.empty());
    QCOMPARE(r->module.identText, QString::fromStdString(f.ModuleIdent));
    QCOMPARE(r->module.flashAddress, 3);
    QVERIFY(!r->module.flashAfter.isEmpty());
    QCOMPARE(r->info.serial, QString("A-17"));
    QCOMPARE(r->info.operatorName, QString("Петров П. П."));
    QCOMPARE(r->points.size(), 1);
    const RecordPoint& p = r->points[0];
    QVERIFY(p.manual);
    QCOMPARE(p.nominal, 12.0);
    QCOMPARE(p.reference, 12.0);
    QVERIFY(qAbs(p.measured - (12 + errorMa)) < 1e-6);
    QCOMPARE(p.unit, QString("мА"));
    // The channel as printed on the module, with or without a tolerance.
    QCOMPARE(p.channel, QString("1"));
    QCOMPARE(p.channelNo, 1);
    QCOMPARE(p.result, result);
    QCOMPARE(p.limit, limit);
    QCOMPARE(p.errorKind, QString(procedures ? "reduced" : "abs"));
    QVERIFY(qAbs(p.error - (procedures ? errorMa / 20 * 100 : errorMa)) < 1e-6);
    QCOMPARE(p.reason, QString(procedures ? "" : "нет допуска"));
    QCOMPARE(r->verdict, verdict);
}

void VerificationRecordTest::manualFrequencyPoint() {
    RecordRig t;
    PageRig& rig = t.rig;
    TMainForm& f = t.open("735x");
    TVerificationRecord* record = t.record;
    QVERIFY(record->IsOpen());
    f.e788Freq->setText("1000");
    QTest::mouseClick(f.Freq788Btn, Qt::LeftButton);
    // Frequencies come from two polls a while apart.
    QVERIFY(rig.poll());
    rig.advance(1.0);
    QVERIFY(rig.poll());
    QTest::mouseClick(record->Btn735, Qt::LeftButton);
    QVERIFY2(rig.dialogs.calls.empty(), qPrintable(rig.lastMessage()));
    const std::optional<Record> r = t.close();
    QVERIFY(r);
    QCOMPARE(r->module.model, QString("735x"));
    QCOMPARE(r->points.size(), 1);
    const RecordPoint& p = r->points[0];
    QCOMPARE(p.nominal, 1000.0);
    QCOMPARE(p.reference, f.Freq.RefFrequency);
    QCOMPARE(p.unit, QString("Гц"));
    // The shipped 735x methodology: relative error, 0,01 %.
    QCOMPARE(p.errorKind, QString("rel"));
    QCOMPARE(p.limit, 0.01);
    QCOMPARE(p.result, QString("pass"));
    QCOMPARE(p.procedure, QString("Определение относительной погрешности измерения частоты"));
    // The rest of the 735x plan was never measured.
    QCOMPARE(r->verdict, kInterrupted);
}

void VerificationRecordTest::handPointOwesTheReference_data() {
    QTest::addColumn<QString>("rule");     // added to the shipped 745t methodology
    QTest::addColumn<double>("errorMa");   // the limit is 0,2 % of 20 mA: 0,04 mA
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("marginal");
    QTest::addColumn<QString>("reason");
    // The protocol's result cell, in the pieces it wraps into.
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("simple") << "" << 0.01 << "pass" << false << ""
                            << QStringList{"0,05 % (U = 0,0242 %, отношение 9,52) ±0,20 % соответствует"};
    QTest::newRow("marginal") << "marginal = 0.7" << 0.03 << "pass" << true << ""
                              << QStringList{"±0,20 % соответствует, близко к", "пределу"};
    QTest::newRow("guard") << "decision = \"guard\"" << 0.038 << "fail" << false
                           << "не годна: |Δ| + U = 0,214 % > 0,2 %"
                           << QStringList{"не соответствует (|Δ| + U =", "0,214 % > 0,2 %)"};
}

// "В протокол" at a point of the plan: U (k = 2) and the reference ratio as
// a run's point has them, the plan's rule applied, and the protocol printing
// them as it does for a record of yukt-verify.
void VerificationRecordTest::handPointOwesTheReference() {
    QFETCH(QString, rule);
    QFETCH(double, errorMa);
    QFETCH(QString, result);
    QFETCH(bool, marginal);
    QFETCH(QString, reason);
    QFETCH(QStringList, shown);
    RecordRig t;
    QFile shipped(QString::fromStdString(verify::ShippedMethodologyDir()) + "/745t.toml");
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(shipped.readAll());
    text.replace("interval_months = 24", "interval_months = 24\n" + rule);
    QVERIFY(t.ownMethodologies());
    QFile own(t.home.path() + "/poverka/methodologies/745t.toml");
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write(text.toUtf8());
    own.close();
    t.open("745t", errorMa);
    QVERIFY(t.record && t.record->IsOpen());
    QVERIFY2(t.manualPoint("12"), qPrintable(t.rig.lastMessage()));
    const std::optional<Record> r = t.close();
    QVERIFY(r);
    QCOMPARE(r->points.size(), 1);
    const RecordPoint& p = r->points[0];
    QVERIFY(p.manual);
    QCOMPARE(p.result, result);
    QCOMPARE(p.reason, reason);
    QCOMPARE(p.marginal, marginal);
    // By hand: the calibrator's ±(0,003 mA + 0,01 % of 12 mA) = 0,0042 mA,
    // rectangular; the module's 24-bit step and one reading add nothing
    // visible. U = 2 · 0,0042 / √3 mA, in % of the 20 mA span; the ratio
    // 0,04 / 0,0042.
    QVERIFY(p.hasU);
    QVERIFY2(qAbs(p.u - 2 * 0.0042 / std::sqrt(3.0) / 20 * 100) < 1e-6, qPrintable(QString::number(p.u)));
    QVERIFY(qAbs(p.referenceError - 0.0042) < 1e-12);
    QVERIFY(qAbs(p.refRatio - 0.04 / 0.0042) < 1e-9);

    const QString pdf = t.home.filePath("protocol.pdf");
    QString error;
    QVERIFY2(WriteProtocolPdf(*r, pdf, &error), qPrintable(error));
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
    QVERIFY(pdftotext.waitForFinished(30000));
    const QString protocol = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
    // The row's cells wrap side by side: each piece on its own.
    for (const QString& expected :
         QStringList{QStringLiteral("(U = 0,0242 %"), QStringLiteral("отношение 9,52)")} + shown)
        QVERIFY2(protocol.contains(expected), qPrintable(expected + "\n" + protocol));
}

void VerificationRecordTest::declinedDialogLeavesTheManualPage() {
    RecordRig t(false);
    PageRig& rig = t.rig;
    TMainForm& f = t.open("745t");
    TVerificationRecord* record = t.record;
    QVERIFY(!record->IsOpen());
    QVERIFY(record->CurBtn->isHidden());
    f.le787xCur->setText("8");
    QTest::mouseClick(f.Start787xBtn, Qt::LeftButton);
    QVERIFY(rig.poll());
    QCOMPARE(f.e745Cur->text(), QString("8"));
    QTest::mouseClick(f.EndCheckBtn, Qt::LeftButton);
    QCOMPARE(f.WizardStep, 10);
    QVERIFY(rig.dialogs.calls.empty());
}

void VerificationRecordTest::automaticRunGoesIntoTheOpenRecord() {
    RecordRig t;
    auto* run = t.open("745t").findChild<TAutoRun*>("AutoRun");
    run->Start(twoPointRun(20));
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 10000));
    // The run leaves the record open for more points.
    QVERIFY(t.record->IsOpen());
    const std::optional<Record> r = t.close();
    QVERIFY(r);
    QCOMPARE(r->points.size(), 2);
    QCOMPARE(r->points[1].nominal, 20.0);
    QCOMPARE(r->points[1].result, QString("pass"));
    QVERIFY(!r->points[1].manual);
    QCOMPARE(r->points[1].readings.size(), 2);
    // A procedure of its own is no attempt at the module's plan, whose
    // items all stay unmeasured: the record closes "прервано".
    QCOMPARE(r->verdict, kInterrupted);
}

void VerificationRecordTest::windowClosedMidVerificationInterrupts() {
    RecordRig t;
    t.open("745t");
    const qint64 id = t.record->Id();
    QVERIFY(id > 0);
    t.rig.form.reset();
    const std::optional<Record> r = stored(t.rig, id);
    QVERIFY(r);
    QCOMPARE(r->state, RecordState::Interrupted);
    QCOMPARE(r->verdict, kInterrupted);
}

void VerificationRecordTest::moduleRunRecordsThePlan_data() {
    QTest::addColumn<double>("errorMa");
    QTest::addColumn<QString>("channelState");
    QTest::newRow("fit") << 0.0 << "годен";
    QTest::newRow("unfit, then re-measured") << 0.1 << "не годен";
}

// "Поверка модуля" on the in-process bench: every operation of the 745t's
// methodology is attempted and recorded, the plan view shows each state, and
// one click on "Повторить" measures a failed channel again.
void VerificationRecordTest::moduleRunRecordsThePlan() {
    QFETCH(double, errorMa);
    QFETCH(QString, channelState);
    RecordRig t;
    PageRig& rig = t.rig;
    rig.dialogs.manualRemark = "без замечаний";
    TMainForm& f = t.open("745t", errorMa);
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    QTest::mouseClick(f.findChild<QPushButton*>("AutoRunCurBtn"), Qt::LeftButton);
    QTest::mouseClick(run->Window()->StopBtn, Qt::LeftButton);
    QTest::mouseClick(run->Window()->ModuleBtn, Qt::LeftButton);
    QVERIFY(run->Running());
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 60000));
    QCOMPARE(rig.dialogs.manualAsked, QStringList{"7.1 Внешний осмотр"});

    QTreeWidget* plan = run->Window()->Plan;
    QCOMPARE(plan->topLevelItemCount(), 4);
    QTreeWidgetItem* channel = plan->topLevelItem(3)->child(0);
    QCOMPARE(channel->text(0), QStringLiteral("Канал 1"));
    QCOMPARE(channel->text(1), channelState);
    QCOMPARE(channel->foreground(1).color() == Qt::red, errorMa > 0);
    for (int op = 0; op < 3; ++op) QCOMPARE(plan->topLevelItem(op)->text(1), QStringLiteral("годен"));
    QCOMPARE(run->Window()->Chart->PointsOf(1), 5);
    QCOMPARE(run->Window()->Banner->text(), errorMa > 0 ? "НЕ ГОДЕН" : "ГОДЕН");

    // The channel's five points stopped at first, then all eight items.
    int attempts = 5 + 8;
    if (errorMa > 0) {
        setError(rig, 0);
        auto* again = qobject_cast<QPushButton*>(plan->itemWidget(channel, 2));
        QVERIFY(again);
        QTest::mouseClick(again, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 60000));
        QCOMPARE(channel->text(1), QStringLiteral("годен"));
        // A channel's run names the channel and where the module stands.
        QCOMPARE(run->Window()->Banner->text(), QStringLiteral("канал 1: годен; модуль: годен"));
        attempts += 5;
    }
    QCOMPARE(run->Window()->ModuleVerdict->text(), QStringLiteral("Модуль: годен"));
    const std::optional<Record> r = t.close();
    QVERIFY(r);
    QCOMPARE(r->points.size(), attempts);
    QCOMPARE(r->points[0].result, QStringLiteral("not measured"));
    QCOMPARE(r->points.back().result, QStringLiteral("pass"));
    QCOMPARE(r->points.back().nominal, 20.0);
    // Every attempt of the session is a point of the record.
    const std::vector<verify::Attempt>& all = f.Session().Attempts();
    QCOMPARE(int(all.size()), attempts);
    const auto inspection = std::find_if(all.begin(), all.end(),
                                         [](const verify::Attempt& a) { return a.item == 1; });
    QVERIFY(inspection != all.end());
    QCOMPARE(inspection->remark, std::string("без замечаний"));
    QCOMPARE(all.back().item, 8);
    QCOMPARE(all.back().number, errorMa > 0 ? 3 : 2);
}

// The connection closed under the open record, as a stopped server leaves
// it: "В протокол" puts the point and the record's end in the local spool,
// the next record's opening writes them back. (A run's points meeting a
// lost database: record_db_fault_test.)
void VerificationRecordTest::lostDatabaseKeepsTheManualPoint() {
    RecordRig t;
    TMainForm& f = t.open("745t");
    const qint64 id = t.record->Id();
    f.le787xCur->setText("12");
    QTest::mouseClick(f.Start787xBtn, Qt::LeftButton);
    QVERIFY(t.rig.poll());
    f.Session().Store()->Database().close();
    QTest::mouseClick(t.record->CurBtn, Qt::LeftButton);
    QVERIFY(t.rig.lastMessage().contains("прервана") && t.record->CurBtn->isHidden());
    t.record->Begin(QString::fromStdString(f.ProgramDir));
    const std::optional<Record> r = stored(t.rig, id);
    QVERIFY(r && r->verdict == kInterrupted && r->points.size() == 1);
    QCOMPARE(r->points[0].nominal, 12.0);
}

QTEST_MAIN(VerificationRecordTest)
#include "verification_record_test.moc"
