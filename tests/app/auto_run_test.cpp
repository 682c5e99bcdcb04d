// "Автоповерка" on the pages, on the simulated bench: the run goes through
// the window's command queue, fills the table and ends with a banner; the
// manual controls are locked meanwhile and free again afterwards.

#include "app/auto_run.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>
#include <clocale>

#include "app/auto_run_window.h"
#include "app/error_chart.h"
#include "app/page_fields.h"
#include "app/verification_record.h"
#include "app/verification_session.h"
#include "common/text.h"
#include "own_methodology.h"
#include "page_rig.h"
#include "records/record_store.h"
#include "verify/methodology.h"
#include "verify/procedure.h"
#include "verify/procedure_library.h"
#include "widgets/color_button.h"
#include "widgets/percent_gauge.h"
#include "widgets/speed_button.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

// Per-channel procedure files, read as the workstation reads them (into a
// methodology of one error operation).
verify::Methodology frequencyProcedure() {
    verify::ProcedureError e;
    return verify::ParseMethodology(
               "title = \"735x\"\ndoc = \"МП\"\nkinds = [6]\nchannel = 0\n"
               "quantity = \"frequency\"\npoints = [500]\n[error]\nkind = \"rel\"\n"
               "limit = 0.05\n[settling]\ndelay = 0\nagree = 2\nband = 1\ntimeout = 10\n"
               "readings = 2\n",
               "f.toml", e)
        .value();
}

verify::Methodology currentProcedure(double delay) {
    const std::string text =
        "title = \"745t\"\ndoc = \"МП\"\nkinds = [1]\nchannel = 0\n"
        "quantity = \"current\"\npoints = [4, 12, 20]\n"
        "[error]\nkind = \"abs\"\nlimit = 0.05\n"
        "[settling]\ndelay = " +
        FloatToStr(delay) + "\nagree = 2\nband = 0.005\ntimeout = 10\nreadings = 2\n";
    verify::ProcedureError e;
    return verify::ParseMethodology(text, "p.toml", e).value();
}

// The generator at `address` falls silent for good once the run is over, so
// that its safe value is never read back.
void silenceAfterTheRun(PageRig& rig, TMainForm& f, int address) {
    QObject::connect(&f.Session(), &TVerificationSession::runFinished, &f, [&rig, address] {
        sim::Fault silent;
        silent.address = address;
        silent.times = sim::kForever;
        rig.bench.injectFault(silent);
    });
}

}  // namespace

class AutoRunTest : public QObject {
    Q_OBJECT

  private slots:
    void runFillsTableAndBanner_data();
    void runFillsTableAndBanner();
    void stopMidRunIsInterruptedAndFreesThePage();
    void moduleLostMidRunIsNamedNeverJudged();
    void buttonRunsTheShippedProcedureOfTheChannel();
    void pageShowsTheGeneratorAfterTheRun_data();
    void pageShowsTheGeneratorAfterTheRun();
    void frequencyPageAfterTheRunComputesNoError_data();
    void frequencyPageAfterTheRunComputesNoError();
    void closingTheWindowMidRunStops();
    void screenshot();
    void frequencyRunIsFramedOnItsBand();
    void decisionRulesInTheCells_data();
    void decisionRulesInTheCells();
    void chartStartsAfreshForEachOperation();
    void rowsHoldTheirWrappedReasons();
    void fitOnARussianLaboratoryComputer();
};

void AutoRunTest::runFillsTableAndBanner_data() {
    QTest::addColumn<double>("error");
    QTest::addColumn<QString>("banner");
    QTest::addColumn<QString>("last");
    QTest::newRow("fit") << 0.0 << "ГОДЕН"
                         << "годна";
    QTest::newRow("unfit") << 0.1 << "НЕ ГОДЕН"
                           << "не годна: погрешность 0,1000 мА при допуске ±0,0500 мА";
}

void AutoRunTest::runFillsTableAndBanner() {
    QFETCH(double, error);
    QFETCH(QString, banner);
    QFETCH(QString, last);
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    {
        auto lk = rig.bench.lock();
        rig.bench.physics().currentErrorMa = error;
    }
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    QVERIFY(run);
    // The run's replies (the generator's and the module's, a reading a
    // second) come faster than the page's interval; it shows one per interval.
    f.PollTimer->setInterval(3000);
    int shown = 0;
    connect(&f, &TMainForm::replyShown, run, [run, &shown] { shown += run->Running(); });
    QElapsedTimer clock;
    clock.start();
    run->Start(currentProcedure(0));
    QVERIFY(!f.NBWork->currentWidget()->isEnabled());
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 10000));
    QVERIFY(shown <= clock.elapsed() / f.PollTimer->interval() + 1);
    TAutoRunWindow* w = run->Window();
    QCOMPARE(w->Banner->text(), banner);
    QCOMPARE(w->Points->rowCount(), 3);
    QCOMPARE(w->Points->item(2, 6)->text(), last);
    QCOMPARE(w->Points->item(1, 1)->text(), QStringLiteral("12"));
    QCOMPARE(w->Gauge->value(), 100);
    QCOMPARE(w->Points->item(0, 6)->foreground().color() == Qt::red, error > 0);
    QVERIFY(f.NBWork->currentWidget()->isEnabled());
    QVERIFY(rig.settle());
    QCOMPARE(rig.bench.physics().generatorCurrentMa, 0.0);
}

void AutoRunTest::stopMidRunIsInterruptedAndFreesThePage() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    run->Start(currentProcedure(5));
    QVERIFY(run->Running());
    QVERIFY(!f.EndCheckBtn->isEnabled());
    QTest::mouseClick(run->Window()->StopBtn, Qt::LeftButton);
    QVERIFY(!run->Running());
    QCOMPARE(run->Window()->Banner->text(), QStringLiteral("ПРЕРВАНО"));
    QVERIFY(f.EndCheckBtn->isEnabled());
    QVERIFY(f.NBWork->currentWidget()->isEnabled());
    QVERIFY(rig.sentCommands().endsWith(QStringLiteral("Set 787x 1 0 6")));
}

// The module under test pulled off the bus after its first point: through
// the window's own reply path the run ends "прервано" with yukt-verify's
// reason, the point measured kept, and the generator goes to its safe value.
void AutoRunTest::moduleLostMidRunIsNamedNeverJudged() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    connect(&f.Session(), &TVerificationSession::pointFinished, run, [&rig] {
        if (rig.bench.underTest()) rig.bench.unplugUnderTest();
    });
    run->Start(currentProcedure(0));
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 30000));
    const QAbstractItemModel& cells = *run->Window()->Points->model();
    const QString lost = "связь потеряна: модуль под поверкой не отвечает по адресу 6 (COM3)";
    QCOMPARE(run->Window()->Banner->text(), QStringLiteral("ПРЕРВАНО"));
    QCOMPARE(cells.index(0, 6).data().toString(), QStringLiteral("годна"));
    QCOMPARE(cells.index(1, 6).data().toString(), "не измерена: " + lost);
    QCOMPARE(cells.index(cells.rowCount() - 1, 6).data().toString(), lost);
    QVERIFY(rig.settle());
    QCOMPARE(rig.bench.physics().generatorCurrentMa, 0.0);
}

void AutoRunTest::buttonRunsTheShippedProcedureOfTheChannel() {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    auto* btn = f.findChild<QPushButton*>("AutoRunCurBtn");
    QVERIFY(btn);
    QTest::mouseClick(btn, Qt::LeftButton);
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    QVERIFY2(run->Running(), qPrintable(rig.lastMessage()));
    QVERIFY(run->Window()->Title->text().contains(QStringLiteral("МП 001-2026")));
    // The page's channel is a filter on the module's plan: its five points.
    QCOMPARE(f.Session().RunItems().size(), std::size_t(5));
    QTest::mouseClick(run->Window()->StopBtn, Qt::LeftButton);
    QVERIFY(QFile::exists(home.path() + "/poverka/methodologies/745t.toml"));
    // The window's right-click menu runs the whole plan.
    QStringList entries;
    QTimer::singleShot(0, [&entries] {
        QWidget* menu = QApplication::activePopupWidget();
        if (menu == nullptr) return;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) entries << a->text();
        if (!menu->actions().isEmpty()) menu->actions().first()->trigger();
        menu->close();
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), btn->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(btn, &click);
    QCOMPARE(entries, QStringList({"Поверка модуля", "Журнал поверок", "Настройки лаборатории"}));
    QVERIFY(run->Running());
    QVERIFY(f.Session().RunItems().empty());
    QTest::mouseClick(run->Window()->StopBtn, Qt::LeftButton);
}

// The run leaves the generator at its safe value: the page shows that value,
// computes no error against the manual one, and "В протокол" takes no point
// whose reference the generator no longer gives.
// After a run the page shows the safe value the generator read back; one
// that did not read it back leaves "На выходе" empty, with the reason as its
// tooltip, and no error or hand point is taken against it until the
// operator sets a value again.
void AutoRunTest::pageShowsTheGeneratorAfterTheRun_data() {
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("read back") << true;
    QTest::newRow("generator silent at the end") << false;
}

void AutoRunTest::pageShowsTheGeneratorAfterTheRun() {
    QFETCH(bool, confirmed);
    PageRig rig;
    rig.dialogs.recordInfo = [](records::RecordInfo&) { return true; };
    TMainForm& f = rig.openPage("745t");
    auto* record = f.findChild<TVerificationRecord*>("VerificationRecord");
    QVERIFY(record->IsOpen());
    f.le787xCur->setText("12");
    QTest::mouseClick(f.Start787xBtn, Qt::LeftButton);
    QVERIFY(rig.poll());
    QCOMPARE(f.le787xOut->text(), QStringLiteral("12"));
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    if (!confirmed) silenceAfterTheRun(rig, f, sim::kGeneratorAddress);
    run->Start(currentProcedure(0));
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 10000));
    QVERIFY(QTest::qWaitFor([&f] { return !f.Session().SafeWaiting(); }, 10000));
    QCOMPARE(f.eErrorCur->text(), QString());
    if (!confirmed) {
        QCOMPARE(f.le787xOut->text(), QString());
        QVERIFY2(f.le787xOut->toolTip().startsWith(
                     "безопасное значение не подтверждено: генератор мог остаться на"),
                 qPrintable(f.le787xOut->toolTip()));
        rig.poll();
        QCOMPARE(f.eErrorCur->text(), QString());
        QTest::mouseClick(record->CurBtn, Qt::LeftButton);
        QVERIFY2(rig.lastMessage().contains("генератор не выдает заданного значения"),
                 qPrintable(rig.lastMessage()));
        // Set again, it is shown and measured against as before.
        rig.bench.clearFaults();
        QTest::mouseClick(f.Start787xBtn, Qt::LeftButton);
        QVERIFY(rig.poll());
        QCOMPARE(f.le787xOut->text(), QStringLiteral("12"));
        QCOMPARE(f.le787xOut->toolTip(), QString());
        QVERIFY(!f.eErrorCur->text().isEmpty());
        return;
    }
    QCOMPARE(f.le787xOut->text(), QStringLiteral("0"));
    QCOMPARE(f.le787xOut->toolTip(), QString());
    QCOMPARE(f.Cur.RefCurrent, 0.0);

    QTest::mouseClick(record->CurBtn, Qt::LeftButton);
    QVERIFY(rig.lastMessage().contains(QStringLiteral("генератор выдает 0 мА")));
    QCOMPARE(record->CurStatus->text(), QString());
    QVERIFY(rig.poll());
    QCOMPARE(f.eErrorCur->text(), QStringLiteral("0,000 мА"));
    const std::size_t boxes = rig.dialogs.calls.size();
    QTest::mouseClick(record->CurBtn, Qt::LeftButton);
    QCOMPARE(rig.dialogs.calls.size(), boxes);
    QCOMPARE(record->CurStatus->text(), QStringLiteral("Записана точка 4: 0 мА"));
    if (qEnvironmentVariableIsSet("YUKT_SCREENSHOT_DIR"))
        f.grab().save(qEnvironmentVariable("YUKT_SCREENSHOT_DIR") + "/page_cur_protocol.png");
}

void AutoRunTest::frequencyPageAfterTheRunComputesNoError_data() {
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("read back") << true;
    QTest::newRow("generator silent at the end") << false;
}

void AutoRunTest::frequencyPageAfterTheRunComputesNoError() {
    QFETCH(bool, confirmed);
    PageRig rig;
    TMainForm& f = rig.openPage("735x");
    f.e788Freq->setText("1000");
    QTest::mouseClick(f.Freq788Btn, Qt::LeftButton);
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    if (!confirmed) silenceAfterTheRun(rig, f, sim::kFrequencyGeneratorAddress);
    run->Start(frequencyProcedure());
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 10000));
    QVERIFY(QTest::qWaitFor([&f] { return !f.Session().SafeWaiting(); }, 10000));
    QCOMPARE(run->Window()->Banner->text(), QStringLiteral("ГОДЕН"));
    // Idle when read back; not known when it was not.
    QCOMPARE(f.e788FreqOut->text(), confirmed ? QStringLiteral("0,0000") : QString());
    QCOMPARE(f.e788FreqOut->toolTip().startsWith("безопасное значение не подтверждено"),
             !confirmed);
    QVERIFY(rig.poll());
    QCOMPARE(f.eError735Freq->text(), QString());
    QVERIFY(!f.Session().Generator().on);
}

// Closing the window is a "Стоп": the generator goes to its safe value, the
// window stays with the verdict, and the points never reached are listed.
void AutoRunTest::closingTheWindowMidRunStops() {
    PageRig rig;
    rig.dialogs.recordInfo = [](records::RecordInfo&) { return true; };
    TMainForm& f = rig.openPage("745t");
    const qint64 id = f.Session().RecordId();
    QVERIFY(id > 0);
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    run->Start(currentProcedure(5));
    TAutoRunWindow* w = run->Window();
    QVERIFY(w->isVisible());
    w->close();
    QVERIFY(!run->Running());
    QVERIFY(w->isVisible());
    QCOMPARE(w->Banner->text(), QStringLiteral("ПРЕРВАНО"));
    QCOMPARE(w->StopBtn->text(), QStringLiteral("Закрыть"));
    QCOMPARE(w->Points->rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(w->Points->item(row, 6)->toolTip(), QStringLiteral("не измерена: остановлено"));
    QVERIFY(f.NBWork->currentWidget()->isEnabled());
    QVERIFY(rig.sentCommands().endsWith(QStringLiteral("Set 787x 1 0 6")));
    w->close();
    QVERIFY(!w->isVisible());
    QTest::mouseClick(f.EndCheckBtn, Qt::LeftButton);
    records::RecordStore store;
    QVERIFY(store.Open(QString::fromStdString(rig.dir() + "poverka.sqlite")));
    const std::optional<records::Record> r = store.Load(id);
    QVERIFY(r);
    QCOMPARE(r->verdict, records::kInterrupted);
    QCOMPARE(r->points.size(), 3);
    QCOMPARE(r->points[2].nominal, 20.0);
    QCOMPARE(r->points[2].result, QStringLiteral("not measured"));
}

// The run window of a whole 748t with one bad channel, mid-run and finished,
// and the page after it, drawn to YUKT_SCREENSHOT_DIR (else a scratch
// directory) for review.
void AutoRunTest::screenshot() {
    QTemporaryDir home, scratch;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    const QString dir = qEnvironmentVariable("YUKT_SCREENSHOT_DIR", scratch.path());
    PageRig rig;
    {
        auto lk = rig.bench.lock();
        rig.bench.physics().channelErrorMa[11] = 0.1;
    }
    rig.dialogs.manualConforms = false;
    rig.dialogs.manualRemark = QStringLiteral("скол корпуса");
    TMainForm& f = rig.openPage("748t");
    f.show();
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    TAutoRunWindow* w = run->Window();
    QTest::mouseClick(f.findChild<QPushButton*>("AutoRunCurBtn"), Qt::LeftButton);
    QTest::mouseClick(w->StopBtn, Qt::LeftButton);
    // A channel's run says what the channel gave and where the module stands.
    QCOMPARE(w->Banner->text(), QStringLiteral("канал 1: прервано; модуль: поверка не завершена"));
    // The window is one of its own, beside the main window, not over it.
    QCOMPARE(w->windowType(), Qt::Window);
    QVERIFY(!w->frameGeometry().intersects(f.frameGeometry()));
    w->resize(1040, 700);  // for the pictures: the offscreen screen is small
    QTest::mouseClick(w->ModuleBtn, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([w] { return w->Chart && w->Chart->PointsOf(16) >= 2; }, 60000));
    // The chart is framed for the whole operation from its first point on.
    const auto* x = qobject_cast<QValueAxis*>(w->Chart->chart()->axes(Qt::Horizontal).value(0));
    QVERIFY(x != nullptr && x->min() <= 4 && x->max() >= 20);
    QVERIFY(w->grab().save(dir + "/run_window_mid.png"));
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 60000));
    QCOMPARE(w->Banner->text(), QStringLiteral("НЕ ГОДЕН"));
    // The manual operations first, with the answer and the remark.
    QCOMPARE(w->Points->item(0, 6)->text(),
             QStringLiteral("7.1 Внешний осмотр: не соответствует — скол корпуса"));
    QCOMPARE(w->Points->item(0, 0)->toolTip(), w->Points->item(0, 6)->text());
    QCOMPARE(w->Points->rowCount(), 3 + 16 * 5);
    // Every error as it was judged: to the methodology's 0,01 %; the
    // values to the 0,002 mA that means.
    const QRegularExpression judged("^-?\\d+,\\d\\d %$"), value("^\\d+,\\d{3}$");
    for (int row = 3; row < w->Points->rowCount(); ++row) {
        QVERIFY2(judged.match(w->Points->item(row, 4)->text()).hasMatch(),
                 qPrintable(w->Points->item(row, 4)->text()));
        QVERIFY2(value.match(w->Points->item(row, 3)->text()).hasMatch(),
                 qPrintable(w->Points->item(row, 3)->text()));
        QCOMPARE(w->Points->item(row, 5)->text(), QStringLiteral("±0,20 %"));
    }
    const int bad = 3 + 11 - 1;  // channel 11 at 4 mA
    QVERIFY2(w->Points->item(bad, 6)->text().startsWith(QStringLiteral("не годна: погрешность 0,5")),
             qPrintable(w->Points->item(bad, 6)->text()));
    QCOMPARE(w->Points->item(bad, 6)->toolTip(), w->Points->item(bad, 6)->text());
    // The last row is in view, whole, under the verdict.
    QTest::qWait(50);
    const int last = w->Points->rowCount() - 1;
    QVERIFY(w->Points->viewport()->rect().contains(
        w->Points->visualItemRect(w->Points->item(last, 0))));
    // One chart for the one error operation; its legend names every channel.
    QCOMPARE(w->Charts->count(), 1);
    QVERIFY(w->ChartOf("7.4")->Legend()->text().contains(QStringLiteral("Канал 16")));
    QTest::qWait(50);  // the verdict line's layout
    QVERIFY(w->grab().save(dir + "/run_window_end.png"));
    QVERIFY(f.grab().save(dir + "/page_after_run.png"));
}

// A 735x's frequency points: limits and errors in % to the methodology's
// 0,0001 %, values to the step that means, and the chart framed on the
// ±0,01 % band (not on the limit in Hz).
void AutoRunTest::frequencyRunIsFramedOnItsBand() {
    QTemporaryDir home;
    QVERIFY(WriteOwnMethodology(home.path(), "735x",
                                {{"delay = 2.0", "delay = 0"},
                                 {"readings = 3", "readings = 2"},
                                 {"points = [35, 100, 1000, 3500]", "points = [35, 3500]"}}));
    PageRig rig;
    TMainForm& f = rig.openPage("735x");
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    const verify::Plan* plan = f.Session().ThePlan();
    QVERIFY2(plan, qPrintable(f.Session().PlanProblem()));
    std::vector<int> items;
    for (const verify::PlanItem& it : plan->items)
        if (it.kind == verify::OperationKind::Error && it.quantity == verify::Quantity::Frequency)
            items.push_back(it.item);
    QCOMPARE(items.size(), std::size_t(2));
    run->StartItems(items);
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 30000));
    TAutoRunWindow* w = run->Window();
    QCOMPARE(w->Banner->text(), QStringLiteral("канал 1: годен; модуль: поверка не завершена"));
    QCOMPARE(w->Points->rowCount(), 2);
    const QRegularExpression error("^-?\\d+,\\d{4} %$"), value("^\\d+,\\d{1,5}$");
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(w->Points->item(row, 5)->text(), QStringLiteral("±0,0100 %"));
        QVERIFY2(error.match(w->Points->item(row, 4)->text()).hasMatch(),
                 qPrintable(w->Points->item(row, 4)->text()));
        for (int column : {2, 3})
            QVERIFY2(value.match(w->Points->item(row, column)->text()).hasMatch(),
                     qPrintable(w->Points->item(row, column)->text()));
    }
    TErrorChart* chart = w->ChartOf("7.4");
    QVERIFY(chart);
    QCOMPARE(chart->PointsOf(1), 2);
    const auto* y = qobject_cast<QValueAxis*>(chart->chart()->axes(Qt::Vertical).value(0));
    QVERIFY2(y->max() >= 0.01 && y->max() <= 0.02, qPrintable(QString::number(y->max())));
    for (QAbstractSeries* s : chart->chart()->series())
        if (s->name() == QStringLiteral("допуск"))
            for (const QPointF& pt : static_cast<QLineSeries*>(s)->points())
                QCOMPARE(pt.y(), 0.01);
}

void AutoRunTest::decisionRulesInTheCells_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<double>("errorMa");  // on every point; the limit is 0,04 mA
    QTest::addColumn<QString>("first");   // the result cell of the 4 mA point, a pattern
    QTest::addColumn<QString>("banner");
    QTest::newRow("marginal, above") << "marginal = 0.7" << 0.03 << "^годна, близко к пределу$"
                                     << "канал 1: годен; модуль: поверка не завершена";
    QTest::newRow("marginal, below") << "marginal = 0.8" << 0.03 << "^годна$"
                                     << "канал 1: годен; модуль: поверка не завершена";
    QTest::newRow("guard refuses") << "decision = \"guard\"" << 0.038
                                   << "^не годна: \\|Δ\\| \\+ U = 0,2\\d* % > 0,2 %$"
                                   << "канал 1: не годен; модуль: не годен";
    QTest::newRow("simple passes") << "" << 0.038 << "^годна$"
                                   << "канал 1: годен; модуль: поверка не завершена";
}

// The methodology's rule as the run window shows it, cell and tooltip alike.
void AutoRunTest::decisionRulesInTheCells() {
    QFETCH(QString, rule);
    QFETCH(double, errorMa);
    QFETCH(QString, first);
    QFETCH(QString, banner);
    QTemporaryDir home;
    QVERIFY(WriteOwnMethodology(home.path(), "745t",
                                {{"delay = 1.0", "delay = 0"},
                                 {"points = [4, 8, 12, 16, 20]", "points = [4]"},
                                 {"interval_months = 24", "interval_months = 24\n" + rule}}));
    PageRig rig;
    {
        auto lk = rig.bench.lock();
        rig.bench.physics().currentErrorMa = errorMa;
    }
    TMainForm& f = rig.openPage("745t");
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    const verify::Plan* plan = f.Session().ThePlan();
    QVERIFY2(plan, qPrintable(f.Session().PlanProblem()));
    std::vector<int> items;
    for (const verify::PlanItem& it : plan->items)
        if (it.kind == verify::OperationKind::Error) items.push_back(it.item);
    QCOMPARE(items.size(), std::size_t(1));
    run->StartItems(items);
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 30000));
    TAutoRunWindow* w = run->Window();
    QCOMPARE(w->Banner->text(), banner);
    QCOMPARE(w->Points->rowCount(), 1);
    const QTableWidgetItem* cell = w->Points->item(0, 6);
    QVERIFY2(QRegularExpression(first).match(cell->text()).hasMatch(), qPrintable(cell->text()));
    QCOMPARE(w->Points->item(0, 0)->toolTip(), cell->text());
}

// A point of another operation clears the channels and the band of the
// last one; the axes are kept and framed for the new one.
void AutoRunTest::chartStartsAfreshForEachOperation() {
    TErrorChart chart;
    chart.resize(600, 300);
    auto point = [](const char* op, int channel, double nominal, double error) {
        verify::PointResult p;
        p.operation = op;
        p.procedure = op;
        p.channelNo = channel;
        p.nominal = p.reference = nominal;
        p.error = error;
        p.limit = 0.2;
        p.errorKind = verify::ErrorKind::Reduced;
        p.result = verify::PointVerdict::Pass;
        return p;
    };
    for (int channel : {1, 2}) chart.AddPoint(point("7.4", channel, 4, 0.01), verify::Quantity::Current);
    chart.AddPoint(point("7.5", 1, 1000, -0.001), verify::Quantity::Frequency,
                   verify::ErrorSpan{35, 3500, 0.01});
    QCOMPARE(chart.Channels(), 1);
    QCOMPARE(chart.PointsOf(1), 1);
    QCOMPARE(chart.chart()->title(), QStringLiteral("7.5"));
    const auto* x = qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Horizontal).value(0));
    const auto* y = qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).value(0));
    // Round ticks: 0, 1000 ... 4000 Hz; 0,1 % steps about the point's ±0,2 % band.
    QCOMPARE(std::tuple(x->min(), x->max(), x->tickCount()), std::tuple(0.0, 4000.0, 5));
    QVERIFY(qFuzzyCompare(y->max(), 0.3) && qFuzzyCompare(y->min(), -0.3) && y->tickCount() == 7);
    QCOMPARE(x->titleText(), QStringLiteral("задано, Гц"));
    int bandPoints = 0;
    for (QAbstractSeries* s : chart.chart()->series())
        if (s->name() == QStringLiteral("допуск")) bandPoints = static_cast<QLineSeries*>(s)->count();
    QCOMPARE(bandPoints, 1);
}

// A long reason wraps in its cell and the row grows to hold it, the window
// made narrower too.
void AutoRunTest::rowsHoldTheirWrappedReasons() {
    TAutoRunWindow w(nullptr);
    w.show();
    w.Begin(QStringLiteral("7.4"));
    verify::PointResult p;
    p.channelNo = 11;
    p.nominal = p.reference = 4;
    p.result = verify::PointVerdict::NotMeasured;
    p.reason = "показания не установились за 20 с: модуль не отвечает на опрос, "
               "проверьте подключение линии и питание модуля";
    w.AddPoint(p, verify::Quantity::Current);
    auto needed = [&w] {
        const QRect room(0, 0, w.Points->columnWidth(6) - 8, 10000);
        const QString text = w.Points->item(0, 6)->text();
        return w.Points->fontMetrics().boundingRect(room, Qt::TextWordWrap, text);
    };
    for (int width : {1040, 560}) {
        w.resize(width, 700);
        QTRY_VERIFY(w.Points->rowHeight(0) >= needed().height());
    }
}

// The replies' "." meets a process locale whose decimal mark is a comma;
// the operator still reads commas in the table.
void AutoRunTest::fitOnARussianLaboratoryComputer() {
    struct RussianLocale {
        QByteArray before = std::setlocale(LC_ALL, nullptr);
        bool set = std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
        ~RussianLocale() { std::setlocale(LC_ALL, before.constData()); }
    } ru;
    QVERIFY2(ru.set, "ru_RU.UTF-8 is not installed (scripts/install-deps makes it)");
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    run->Start(currentProcedure(0.5));
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 15000));
    TAutoRunWindow* w = run->Window();
    QCOMPARE(w->Banner->text(), QStringLiteral("ГОДЕН"));
    QCOMPARE(w->Points->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        double measured = 0;
        QVERIFY(RuToFloat(w->Points->item(row, 3)->text(), measured));
        QVERIFY2(qAbs(measured - 4 - 8 * row) < 0.05, qPrintable(w->Points->item(row, 3)->text()));
        QCOMPARE(w->Points->item(row, 5)->text(), QStringLiteral("±0,0500 мА"));
        QCOMPARE(w->Points->item(row, 6)->text(), QStringLiteral("годна"));
    }
}

QTEST_MAIN(AutoRunTest)
#include "auto_run_test.moc"
