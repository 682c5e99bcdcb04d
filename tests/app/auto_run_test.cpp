// "Автоповерка" on the pages, on the simulated bench: the run goes through
// the window's command queue, fills the table and ends with a banner; the
// manual controls are locked meanwhile and free again afterwards.

#include "app/auto_run.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <clocale>

#include "app/ru_numbers.h"
#include "common/text.h"
#include "page_rig.h"
#include "verify/procedure.h"
#include "widgets/percent_gauge.h"
#include "widgets/speed_button.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

verify::Procedure currentProcedure(double delay) {
    const std::string text =
        "title = \"745t\"\ndoc = \"МП\"\nkinds = [1]\nchannel = 0\n"
        "quantity = \"current\"\npoints = [4, 12, 20]\n"
        "[error]\nkind = \"abs\"\nlimit = 0.05\n"
        "[settling]\ndelay = " +
        FloatToStr(delay) + "\nagree = 2\nband = 0.005\ntimeout = 10\nreadings = 2\n";
    verify::ProcedureError e;
    return verify::ParseProcedure(text, "p.toml", e).value_or(verify::Procedure{});
}

}  // namespace

class AutoRunTest : public QObject {
    Q_OBJECT

  private slots:
    void runFillsTableAndBanner_data();
    void runFillsTableAndBanner();
    void stopMidRunIsInterruptedAndFreesThePage();
    void buttonRunsTheShippedProcedureOfTheChannel();
    void fitOnARussianLaboratoryComputer();
};

void AutoRunTest::runFillsTableAndBanner_data() {
    QTest::addColumn<double>("error");
    QTest::addColumn<QString>("banner");
    QTest::addColumn<QString>("last");
    QTest::newRow("fit") << 0.0 << "ГОДЕН"
                         << "годна";
    QTest::newRow("unfit") << 0.1 << "НЕ ГОДЕН"
                           << "не годна";
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
    run->Start(currentProcedure(0));
    QVERIFY(!f.NBWork->currentWidget()->isEnabled());
    QVERIFY(QTest::qWaitFor([run] { return !run->Running(); }, 10000));
    TAutoRunWindow* w = run->Window();
    QCOMPARE(w->Banner->text(), banner);
    QCOMPARE(w->Points->rowCount(), 3);
    QCOMPARE(w->Points->item(2, 5)->text(), last);
    QCOMPARE(w->Points->item(1, 0)->text(), QStringLiteral("12"));
    QCOMPARE(w->Gauge->value(), 100);
    QCOMPARE(w->Points->item(0, 5)->foreground().color() == Qt::red, error > 0);
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
    QVERIFY(run->Window()->Title->text().contains(QStringLiteral("ЮКТ-745t")));
    QTest::mouseClick(run->Window()->StopBtn, Qt::LeftButton);
    QVERIFY(QFile::exists(home.path() + "/poverka/methodologies/745t.toml"));
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
        QVERIFY(RuToFloat(w->Points->item(row, 2)->text(), measured));
        QVERIFY2(qAbs(measured - 4 - 8 * row) < 0.05, qPrintable(w->Points->item(row, 2)->text()));
        QCOMPARE(w->Points->item(row, 4)->text(), QStringLiteral("0,05 мА"));
        QCOMPARE(w->Points->item(row, 5)->text(), QStringLiteral("годна"));
    }
}

QTEST_MAIN(AutoRunTest)
#include "auto_run_test.moc"
