// The frequency, interval and count page on the simulated bench: frequencies
// and periods typed within the generator's limits, the frequency it really
// produces, what the 735x or 735t measures and its errors, intervals and
// pulse counts with the event detectors, divider and translator checks.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <cmath>

#include "app/field_state.h"
#include "app/page_fields.h"
#include "records/ru_format.h"
#include "common/text.h"
#include "instrument/identify.h"
#include "page_rig.h"
#include "widgets/color_button.h"
#include "widgets/led_indicator.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

// With this quartz 100 Hz is produced exactly.
constexpr double kQuartz = 7374;

void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

double shown(const QLineEdit* e) {
    double v = std::nan("");
    RuToFloat(e->text().section(' ', 0, 0), v);
    return v;
}

// A 735x reply line: detectors, pulse count, interval and frequency.
std::string line735x(int d1, int d2, const char* count, const char* interval, const char* freq) {
    return std::string("735x 2   $00000000  $00000000    0.54240     ") + std::to_string(d1) + " " +
           std::to_string(d2) + " " + count + " " + interval + "      1 0 " + freq +
           "    7374.29780       0    0     0     0";
}

// A 735t whose dividers are set to 4 and 3.5 in its FLASH.
void dividers(sim::SimModule& m) {
    m.flash().setCoef(1, 4);
    m.flash().setCoef(2, 3.5);
}

}  // namespace

class Page735Test : public QObject {
    Q_OBJECT

  private slots:
    void channelsSelectPages_data();
    void channelsSelectPages();
    void frequencyAndPeriodEntry_data();
    void frequencyAndPeriodEntry();
    void generatorProducesReferenceFrequency_data();
    void generatorProducesReferenceFrequency();
    void moduleMeasuresGeneratorFrequency_data();
    void moduleMeasuresGeneratorFrequency();
    void frequencyErrorsAndZero_data();
    void frequencyErrorsAndZero();
    void intervalCheck();
    void intervalLimits_data();
    void intervalLimits();
    void pulseCountStartsIntervalOfThatLength_data();
    void pulseCountStartsIntervalOfThatLength();
    void countErrorOnlyAfterSecondDetector();
    void countOnBench();
    void dividerCheckStates_data();
    void dividerCheckStates();
    void dividerCheckOnBench();
    void stopEndsCheck();
    void checkRefusesInputs_data();
    void checkRefusesInputs();
    void dividerCoefficientEntry();
    void screenshot();
};

void Page735Test::channelsSelectPages_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("caption");  // of GrBox735Del, empty: unchanged
    QTest::newRow("735x frequency") << "735x" << 0 << 0 << "";
    QTest::newRow("735x interval") << "735x" << 1 << 1 << "";
    QTest::newRow("735x count") << "735x" << 2 << 2 << "";
    QTest::newRow("735t frequency 2") << "735t" << 1 << 0 << "";
    QTest::newRow("735t divider 1") << "735t" << 2 << 3 << " Делитель - ";
    QTest::newRow("735t divider 2") << "735t" << 3 << 3 << " Делитель - ";
    QTest::newRow("735t translator 1") << "735t" << 4 << 3 << " Транслятор - ";
    QTest::newRow("735t translator 2") << "735t" << 5 << 3 << " Транслятор - ";
}

void Page735Test::channelsSelectPages() {
    QFETCH(QString, model);
    QFETCH(int, item);
    QFETCH(int, page);
    QFETCH(QString, caption);
    PageRig rig;
    TMainForm& f = rig.openPage(model.toStdString(), {}, 0, dividers);
    QCOMPARE(f.NBWork->currentIndex(), 2);
    f.eError735tDel->setText("old");
    f.e735DelOut->setText("old");
    f.cb735ChlMode->setCurrentIndex(3);  // from another item, so that the change shows
    f.cb735ChlMode->setCurrentIndex(item);
    QCOMPARE(f.NB735Freq->currentIndex(), page);
    if (caption.isEmpty()) return;
    const bool divider = item < 4;
    QCOMPARE(f.GrBox735Del->title(),
             caption + QString::fromStdString(f.ModuleDesignation).left(14) + " ");
    QCOMPARE(f.e735Del->text(), divider ? (item == 2 ? QString("4,000") : QString("3,500")) : "");
    QCOMPARE(FieldStateOf(f.e735Del), divider ? FieldState::Input : FieldState::ReadOnly);
    QCOMPARE(f.lKDel->isHidden(), !divider);
    QCOMPARE(f.lRepFreq->isHidden(), divider);
    QVERIFY(f.e735DelOut->text().isEmpty());
    QVERIFY(f.eError735tDel->text().isEmpty());
}

void Page735Test::frequencyAndPeriodEntry_data() {
    QTest::addColumn<bool>("period");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("freq");  // e788Freq afterwards
    QTest::addColumn<QString>("per");   // e788Per afterwards
    QTest::addColumn<QString>("message");
    QTest::newRow("35 Hz") << false << "35"
                           << "35"
                           << "28571,4"
                           << "";
    QTest::newRow("3500 Hz") << false << "3500"
                             << "3500"
                             << "285,7"
                             << "";
    QTest::newRow("point") << false << "100.5"
                           << "100,5"
                           << "9950,2"
                           << "";
    QTest::newRow("34,99 Hz") << false << "34,99"
                              << "34,99"
                              << ""
                              << "Значение заданной частоты выходит за пределы!";
    QTest::newRow("3500,5 Hz") << false << "3500,5"
                               << "3500,5"
                               << ""
                               << "Значение заданной частоты выходит за пределы!";
    QTest::newRow("no frequency") << false << "-"
                                  << "-"
                                  << ""
                                  << "Неверно задано значение частоты!";
    QTest::newRow("10000 us") << true << "10000"
                              << "100,00000"
                              << "10000"
                              << "";
    QTest::newRow("400 us") << true << "400"
                            << "2500,00000"
                            << "400"
                            << "";
    QTest::newRow("100 us")
        << true << "100"
        << ""
        << "100"
        << "Значение заданного периода выходит за пределы генерируемой частоты!";
    QTest::newRow("0 us") << true << "0"
                          << ""
                          << "0"
                          << "Значение заданного периода выходит за пределы генерируемой частоты!";
    QTest::newRow("no period") << true << ""
                               << ""
                               << ""
                               << "Неверно задано значение периода!";
}

void Page735Test::frequencyAndPeriodEntry() {
    QFETCH(bool, period);
    QFETCH(QString, typed);
    QFETCH(QString, freq);
    QFETCH(QString, per);
    QFETCH(QString, message);
    PageRig rig;
    TMainForm& f = rig.openPage("735x");
    f.e788Freq->clear();
    f.e788Per->clear();
    QLineEdit* into = period ? f.e788Per : f.e788Freq;
    QLineEdit* other = period ? f.e788Freq : f.e788Per;
    QTest::mouseClick(into, Qt::LeftButton);
    QCOMPARE(FieldStateOf(into), FieldState::Input);
    QCOMPARE(FieldStateOf(other), FieldState::ReadOnly);
    PageRig::enter(into, typed);
    QCOMPARE(f.e788Freq->text(), freq);
    QCOMPARE(f.e788Per->text(), per);
    QCOMPARE(rig.lastMessage(), message);
    if (!message.isEmpty()) QCOMPARE(rig.dialogs.calls.back().caption, QString("Ошибка"));
    QVERIFY(rig.sentCommands().isEmpty());  // Enter only computes
}

void Page735Test::generatorProducesReferenceFrequency_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("produced");  // empty: refused
    QTest::addColumn<QString>("period");
    QTest::newRow("100 Hz") << "100"
                            << "100,0000"
                            << "10000,000";
    QTest::newRow("35 Hz") << "35"
                           << "35,0003"
                           << "28571,195";
    QTest::newRow("3500 Hz") << "3500"
                             << "3498,1025"
                             << "285,869";
    QTest::newRow("34,99 Hz") << "34,99"
                              << ""
                              << "";
    QTest::newRow("3500,5 Hz") << "3500,5"
                               << ""
                               << "";
    QTest::newRow("nothing") << ""
                             << ""
                             << "";
}

void Page735Test::generatorProducesReferenceFrequency() {
    QFETCH(QString, typed);
    QFETCH(QString, produced);
    QFETCH(QString, period);
    PageRig rig;
    TMainForm& f = rig.openPage("735x", {}, kQuartz);
    QCOMPARE(f.Freq.RefFrequency, 100.0);
    f.e788Freq->setText(typed);
    click(f.Freq788Btn);
    if (produced.isEmpty()) {
        QCOMPARE(rig.lastMessage(), QString("Неверно задано значение частоты!"));
        QCOMPARE(f.Freq.RefFrequency, 100.0);
        QVERIFY(f.e788FreqOut->text().isEmpty());
        QVERIFY(rig.sentCommands().isEmpty());
        return;
    }
    QVERIFY(rig.dialogs.calls.empty());
    QCOMPARE(records::RuFixed(f.Freq.RefFrequency, 4), produced);
    for (QLineEdit* e : {f.e788FreqOut, f.eFreqDelOut, f.e788FreqOut_Count})
        QCOMPARE(e->text(), produced);
    for (QLineEdit* e : {f.e788Freq, f.e788Freq_Count, f.eFreqDel}) QCOMPARE(e->text(), typed);
    QCOMPARE(f.e788Per->text(), period);
    QCOMPARE(rig.sentCommands(), QStringList{"Set 788t 1 " + typed + " 3"});
}

void Page735Test::moduleMeasuresGeneratorFrequency_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("item");
    QTest::newRow("735x") << "735x" << 0;
    QTest::newRow("735t channel 1") << "735t" << 0;
    QTest::newRow("735t channel 2") << "735t" << 1;
}

void Page735Test::moduleMeasuresGeneratorFrequency() {
    QFETCH(QString, model);
    QFETCH(int, item);
    PageRig rig;
    TMainForm& f = rig.openPage(model.toStdString(), {}, 0, dividers);
    f.cb735ChlMode->setCurrentIndex(item);
    f.e788Freq->setText("1000");
    click(f.Freq788Btn);
    // Frequencies come from two polls a while apart: the first read of a
    // fresh page compares the counters with 0 and shows nothing.
    QVERIFY(rig.poll());
    QCOMPARE(f.e735Freq->text(), QString());
    QCOMPARE(f.eError735Freq->text(), QString());
    rig.advance(1.0);
    QVERIFY(rig.poll());
    const double reference = f.Freq.RefFrequency;
    QVERIFY2(std::abs(shown(f.e735Freq) - reference) < 0.01, qPrintable(f.e735Freq->text()));
    QVERIFY2(std::abs(shown(f.e735Time) - 1e6 / reference) < 0.01, qPrintable(f.e735Time->text()));
    QVERIFY(f.eError735Freq->text().endsWith(" Гц"));
    QVERIFY(std::abs(shown(f.eError735Freq)) < 0.01);
    QVERIFY(f.eError735Time->text().endsWith(" мкс"));
}

void Page735Test::frequencyErrorsAndZero_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("measured");
    QTest::addColumn<QString>("freq");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("freqError");
    QTest::addColumn<QString>("periodError");
    QTest::newRow("absolute") << 0 << "100.5"
                              << "100,5"
                              << "9950,249"
                              << "0,5000 Гц"
                              << "-49,751 мкс";
    QTest::newRow("relative") << 1 << "100.5"
                              << "100,5"
                              << "9950,249"
                              << "0,50000 %"
                              << "-0,49751 %";
    QTest::newRow("relative far off") << 1 << "250"
                                      << "250"
                                      << "4000,000" << kNoError << "-60,00000 %";
    QTest::newRow("absolute zero") << 0 << "0.0000"
                                   << "0" << kNoError << "-100,0000 Гц" << kNoError;
    QTest::newRow("relative zero") << 1 << "0.0000"
                                   << "0" << kNoError << "-100,00000 %" << kNoError;
}

void Page735Test::frequencyErrorsAndZero() {
    QFETCH(int, kind);
    QFETCH(QString, measured);
    QFETCH(QString, freq);
    QFETCH(QString, period);
    QFETCH(QString, freqError);
    QFETCH(QString, periodError);
    PageRig rig;
    TMainForm& f = rig.openPage("735x", {}, kQuartz);
    f.cb735Error->setCurrentIndex(kind);
    // The driver's first read of the module: no frequency yet.
    QVERIFY(rig.reply(line735x(0, 0, "0.000", "0.000000", "-110214.0000")));
    QCOMPARE(f.e735Freq->text(), QString());
    QVERIFY(rig.reply(line735x(0, 0, "0.000", "0.000000", measured.toLatin1().constData())));
    QCOMPARE(f.e735Freq->text(), freq);
    QCOMPARE(f.e735Time->text(), period);
    QCOMPARE(f.eError735Freq->text(), freqError);
    QCOMPARE(f.eError735Time->text(), periodError);
}

void Page735Test::intervalCheck() {
    PageRig rig;
    TMainForm& f = rig.openPage("735x", {}, kQuartz);
    f.cb735ChlMode->setCurrentIndex(1);
    f.e788Freq->setText("100");
    click(f.Freq788Btn);
    f.eTime788->setText("0,2");
    click(f.StartGenTime788Btn);
    QVERIFY(rig.dialogs.calls.empty());
    QCOMPARE(f.e735xCount->text(), QString("20,000"));
    QCOMPARE(f.eTime788Out->text(), QString("0,2"));
    QCOMPARE(f.Freq.RefInterval, 0.2);
    QCOMPARE(rig.sentCommands(),
             (QStringList{"Set 788t 1 100 3", "Set 735x 2 0 0 0 0 1", "Set 788t 1 0.2 4"}));
    QVERIFY(rig.poll());
    rig.advance(0.5);
    QVERIFY(rig.poll());
    QVERIFY(f.D1Led->isLit());
    QVERIFY(f.D2Led->isLit());
    QVERIFY2(std::abs(shown(f.e735xTime) - 0.2) < 1e-4, qPrintable(f.e735xTime->text()));
    QVERIFY2(f.e735xErrorTime->text().endsWith(" c"), qPrintable(f.e735xErrorTime->text()));
    QVERIFY(std::abs(shown(f.e735xErrorTime)) < 1e-4);

    // The detectors are reset for the next interval.
    click(f.ResetDetectsBtn);
    QCOMPARE(rig.sentCommands(), QStringList{"Set 735x 2 0 0 0 0 1"});
    QVERIFY(rig.poll());
    QVERIFY(!f.D1Led->isLit());
    QVERIFY(!f.D2Led->isLit());

    // Relative error of an injected interval.
    f.cbError735xDet->setCurrentIndex(1);
    QVERIFY(rig.reply(line735x(1, 1, "20.000", "0.201000", "100.0000")));
    QCOMPARE(f.e735xTime->text(), QString("0,201"));
    QCOMPARE(f.e735xErrorTime->text(), QString("0,50000 %"));
}

void Page735Test::intervalLimits_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0,2 s") << "0,2" << true;
    QTest::newRow("1500 s") << "1500" << true;
    QTest::newRow("0,19 s") << "0,19" << false;
    QTest::newRow("1500,1 s") << "1500,1" << false;
    QTest::newRow("nothing") << "" << false;
}

void Page735Test::intervalLimits() {
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    PageRig rig;
    TMainForm& f = rig.openPage("735x", {}, kQuartz);
    f.eTime788->setText(typed);
    click(f.StartGenTime788Btn);
    QCOMPARE(rig.lastMessage(), accepted ? QString() : "Неверно задано значение интервала!");
    QCOMPARE(rig.sentCommands().size(), accepted ? 2 : 0);
}

void Page735Test::pulseCountStartsIntervalOfThatLength_data() {
    QTest::addColumn<QString>("freq");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("interval");  // empty: refused
    QTest::addColumn<QString>("message");
    QTest::newRow("20 at 100 Hz") << "100"
                                  << "20"
                                  << "0.2"
                                  << "";
    QTest::newRow("25 at 50 Hz") << "50"
                                 << "25"
                                 << "0.5"
                                 << "";
    QTest::newRow("no count") << "100"
                              << ""
                              << ""
                              << "Неверно задано значение количества импульсов!";
    QTest::newRow("count 0") << "100"
                             << "0"
                             << ""
                             << "Неверно задано значение количества импульсов!";
    QTest::newRow("longer than the generator") << "100"
                                               << "150001"
                                               << ""
                                               << "Неверно задано значение количества импульсов!";
    QTest::newRow("frequency too low") << "30"
                                       << "20"
                                       << ""
                                       << "Неверно задано значение частоты!";
}

void Page735Test::pulseCountStartsIntervalOfThatLength() {
    QFETCH(QString, freq);
    QFETCH(QString, count);
    QFETCH(QString, interval);
    QFETCH(QString, message);
    PageRig rig;
    TMainForm& f = rig.openPage("735x", {}, kQuartz);
    f.e788Freq_Count->setText(freq);
    f.e735xCount->setText(count);
    click(f.Start735xCountBtn);
    QCOMPARE(rig.lastMessage(), message);
    const QStringList sent = rig.sentCommands();
    if (message == "Неверно задано значение частоты!") {
        QVERIFY(sent.isEmpty());
        return;
    }
    // The generator runs at the frequency whatever the count.
    QCOMPARE(sent.value(0), "Set 788t 1 " + freq + " 3");
    QCOMPARE(f.e788Freq->text(), freq);
    QCOMPARE(f.e788FreqOut_Count->text(), records::RuFixed(f.Freq.RefFrequency, 4));
    QCOMPARE(f.e788Per->text(), records::RuFixed(1e6 / f.Freq.RefFrequency, 1));
    if (interval.isEmpty()) {
        QCOMPARE(sent.size(), 1);
        return;
    }
    double intervalS = 0;
    QVERIFY(StrToFloatStrict(interval.toStdString(), intervalS));
    const QString shownInterval = records::RuFixed(intervalS, 6);
    QCOMPARE(f.eTime788->text(), shownInterval);
    QCOMPARE(f.eTime788Out->text(), shownInterval);
    QCOMPARE(f.Freq.RefInterval, intervalS);
    QCOMPARE(records::RuShort(f.Freq.RefCount), count);
    QCOMPARE(sent.mid(1), (QStringList{"Set 735x 2 0 0 0 0 1", "Set 788t 1 " + interval + " 4"}));
}

void Page735Test::countErrorOnlyAfterSecondDetector() {
    PageRig rig;
    TMainForm& f = rig.openPage("735x", {}, kQuartz);
    f.cb735ChlMode->setCurrentIndex(2);
    f.e788Freq_Count->setText("100");
    f.e735xCount->setText("20");
    click(f.Start735xCountBtn);
    QVERIFY(rig.reply(line735x(1, 0, "12.000", "0.000000", "100.0000")));
    QCOMPARE(f.e735xCountOut->text(), QString("12"));
    QVERIFY(f.D1LedCount->isLit());
    QVERIFY(!f.D2LedCount->isLit());
    QVERIFY(f.eErr735xCount->text().isEmpty());

    QVERIFY(rig.reply(line735x(1, 1, "20.500", "0.205000", "100.0000")));
    QCOMPARE(f.e735xCountOut->text(), QString("20,5"));
    QVERIFY(f.D2LedCount->isLit());
    QCOMPARE(f.eErr735xCount->text(), QString("0,500"));
    f.cbErr735xCount->setCurrentIndex(1);
    QVERIFY(rig.reply(line735x(1, 1, "20.500", "0.205000", "100.0000")));
    QCOMPARE(f.eErr735xCount->text(), QString("2,5000 %"));
    QVERIFY(rig.reply(line735x(1, 1, "50.000", "0.500000", "100.0000")));
    QCOMPARE(f.eErr735xCount->text(), kNoError);
}

void Page735Test::countOnBench() {
    PageRig rig;
    TMainForm& f = rig.openPage("735x");
    f.cb735ChlMode->setCurrentIndex(2);
    f.e788Freq_Count->setText("100");
    f.e735xCount->setText("20");
    click(f.Start735xCountBtn);
    QVERIFY(rig.poll());
    rig.advance(1.0);
    QVERIFY(rig.poll());
    QVERIFY(f.D1LedCount->isLit());
    QVERIFY(f.D2LedCount->isLit());
    QVERIFY2(std::abs(shown(f.e735xCountOut) - 20) < 0.01, qPrintable(f.e735xCountOut->text()));
    QVERIFY2(std::abs(shown(f.eErr735xCount)) < 0.01, qPrintable(f.eErr735xCount->text()));
}

void Page735Test::dividerCheckStates_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("setup");  // the command that prepares the module
    QTest::addColumn<QString>("count");  // the generator's final count
    QTest::addColumn<QString>("measured");
    QTest::addColumn<QString>("absError");
    QTest::addColumn<QString>("relError");
    QTest::newRow("divider 1") << 2 << "Set 735t 2 0 0 4 1 1"
                               << "40"
                               << "4,000"
                               << "0,000"
                               << "0,000 %";
    QTest::newRow("divider 2 off") << 3 << "Set 735t 2 0 0 1 3.5 1"
                                   << "42"
                                   << "4,200"
                                   << "0,700"
                                   << "20,000 %";
    QTest::newRow("translator 1") << 4 << "Set 735t 2 1 0 0 0 0"
                                  << "10"
                                  << "100,0000"
                                  << "0,000"
                                  << "0,000 %";
    QTest::newRow("translator 2") << 5 << "Set 735t 2 0 1 0 0 0"
                                  << "11"
                                  << "110,0000"
                                  << "10,000"
                                  << "10,000 %";
}

void Page735Test::dividerCheckStates() {
    QFETCH(int, item);
    QFETCH(QString, setup);
    QFETCH(QString, count);
    QFETCH(QString, measured);
    QFETCH(QString, absError);
    QFETCH(QString, relError);
    PageRig rig;
    TMainForm& f = rig.openPage("735t", {}, kQuartz, dividers);
    f.cb735ChlMode->setCurrentIndex(item);
    f.eFreqDel->setText("100");
    f.eCountDel->setText("10");
    f.ePredDel->setText("2");
    click(f.StartCheckDelBtn);
    QVERIFY2(rig.dialogs.calls.empty(), qPrintable(rig.lastMessage()));
    QCOMPARE(rig.sentCommands(), (QStringList{setup, "Set 788t 1 100 2 10 5"}));
    QCOMPARE(f.ExpectedNumber(), std::string("1"));
    QCOMPARE(f.PollCommand, std::string("Get 788t 1"));
    QVERIFY(!f.StartCheckDelBtn->isEnabled());
    QVERIFY(!f.cb735ChlMode->isEnabled());
    QVERIFY(!f.StopDelBtn->isHidden());
    for (QLineEdit* e : {f.eFreqDel, f.eCountDel, f.ePredDel, f.e735Del}) QVERIFY(e->isReadOnly());
    QCOMPARE(f.eFreqDelOut->text(), QString("100,0000"));
    if (item >= 4) QCOMPARE(f.e735Del->text(), QString("100,0000"));

    // The module's own replies do not count while the generator is read.
    QVERIFY(
        !rig.reply("735t 2 $00000000 $00000000    0.54240  $00000000 $00000000 1 0  100.0000"
                   "  7374.72530       1    0     0 0  100.0000  $00000000  $00000000",
                   300));
    QVERIFY(rig.reply("788t 1          0"));
    QCOMPARE(f.eCountDelOut->text(), QString("Преднабор"));
    QVERIFY(rig.reply("788t 1        -15"));
    QCOMPARE(f.eCountDelOut->text(), QString("Счет=15"));
    QVERIFY(f.e735DelOut->text().isEmpty());
    QVERIFY(rig.reply("788t 1 " + count.rightJustified(10).toStdString()));
    QCOMPARE(f.eCountDelOut->text(), count);
    QCOMPARE(f.e735DelOut->text(), measured);
    QCOMPARE(f.eError735tDel->text(), absError);
    QCOMPARE(f.ExpectedNumber(), std::string("2"));
    QCOMPARE(f.PollCommand, std::string("Get 735t 2"));
    QCOMPARE(rig.sentCommands(), QStringList{"Set 788t 1 0.5 4"});
    QVERIFY(f.StartCheckDelBtn->isEnabled());
    QVERIFY(f.cb735ChlMode->isEnabled());
    QVERIFY(f.StopDelBtn->isHidden());
    for (QLineEdit* e : {f.eFreqDel, f.eCountDel, f.ePredDel}) QVERIFY(!e->isReadOnly());
    QCOMPARE(f.e735Del->isReadOnly(), item >= 4);
    f.cbError735tDel->setCurrentIndex(1);
    QCOMPARE(f.eError735tDel->text(), relError);
    f.cbError735tDel->setCurrentIndex(0);
    QCOMPARE(f.eError735tDel->text(), absError);
}

void Page735Test::dividerCheckOnBench() {
    PageRig rig;
    TMainForm& f = rig.openPage("735t", {}, 0, dividers);
    f.cb735ChlMode->setCurrentIndex(2);
    f.eFreqDel->setText("100");
    f.eCountDel->setText("10");
    f.ePredDel->setText("2");
    click(f.StartCheckDelBtn);
    QStringList states;
    for (int i = 0; i < 40 && f.ExpectedNumber() == "1"; ++i) {
        QVERIFY(rig.poll());
        if (states.isEmpty() || states.back() != f.eCountDelOut->text())
            states << f.eCountDelOut->text();
        rig.advance(0.05);
    }
    QCOMPARE(f.ExpectedNumber(), std::string("2"));
    QCOMPARE(f.eCountDelOut->text(), QString("40"));
    QCOMPARE(f.e735DelOut->text(), QString("4,000"));
    QCOMPARE(f.eError735tDel->text(), QString("0,000"));
    QVERIFY2(states.size() >= 2, qPrintable(states.join('|')));
}

void Page735Test::stopEndsCheck() {
    PageRig rig;
    TMainForm& f = rig.openPage("735t", {}, kQuartz, dividers);
    f.cb735ChlMode->setCurrentIndex(2);
    f.eFreqDel->setText("200");
    f.eCountDel->setText("10");
    f.ePredDel->setText("1");
    click(f.StartCheckDelBtn);
    QVERIFY(rig.reply("788t 1        -3"));
    rig.sentCommands();
    click(f.StopDelBtn);
    QCOMPARE(f.ExpectedNumber(), std::string("2"));
    QCOMPARE(f.PollCommand, std::string("Get 735t 2"));
    QCOMPARE(rig.sentCommands(), (QStringList{"Set 788t 1 200 3", "Set 788t 1 0.5 4"}));
    QVERIFY(f.eCountDelOut->text().isEmpty());
    QVERIFY(f.StartCheckDelBtn->isEnabled());
    QVERIFY(f.cb735ChlMode->isEnabled());
    QVERIFY(f.StopDelBtn->isHidden());
    for (QLineEdit* e : {f.eFreqDel, f.eCountDel, f.ePredDel, f.e735Del}) QVERIFY(!e->isReadOnly());
    // A late count of the generator changes nothing now.
    QVERIFY(!rig.reply("788t 1        40", 300));
    QVERIFY(f.e735DelOut->text().isEmpty());
}

void Page735Test::checkRefusesInputs_data() {
    QTest::addColumn<QString>("freq");
    QTest::addColumn<QString>("pulses");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("message");
    QTest::newRow("frequency low") << "34"
                                   << "10"
                                   << "2"
                                   << "Неверно задано значение частоты!";
    QTest::newRow("frequency empty") << ""
                                     << "10"
                                     << "2"
                                     << "Неверно задано значение частоты!";
    QTest::newRow("no pulses") << "100"
                               << ""
                               << "2"
                               << "Неверно задано значение количества управляющих импульсов!";
    QTest::newRow("zero pulses") << "100"
                                 << "0"
                                 << "2"
                                 << "Неверно задано значение количества управляющих импульсов!";
    QTest::newRow("pulses beyond 16 bits")
        << "100"
        << "65536"
        << "2"
        << "Неверно задано значение количества управляющих импульсов!";
    QTest::newRow("zero preset") << "100"
                                 << "10"
                                 << "0"
                                 << "Неверно задано значение преднабора!";
    QTest::newRow("preset beyond a byte") << "100"
                                          << "10"
                                          << "256"
                                          << "Неверно задано значение преднабора!";
}

void Page735Test::checkRefusesInputs() {
    QFETCH(QString, freq);
    QFETCH(QString, pulses);
    QFETCH(QString, preset);
    QFETCH(QString, message);
    PageRig rig;
    TMainForm& f = rig.openPage("735t", {}, kQuartz, dividers);
    f.cb735ChlMode->setCurrentIndex(2);
    f.eFreqDel->setText(freq);
    f.eCountDel->setText(pulses);
    f.ePredDel->setText(preset);
    click(f.StartCheckDelBtn);
    QCOMPARE(rig.lastMessage(), message);
    QCOMPARE(rig.dialogs.calls.back().caption, QString("Ошибка"));
    QVERIFY(rig.sentCommands().isEmpty());
    QVERIFY(f.StartCheckDelBtn->isEnabled());
    QVERIFY(f.StopDelBtn->isHidden());
    QCOMPARE(f.ExpectedNumber(), std::string("2"));
}

void Page735Test::dividerCoefficientEntry() {
    PageRig rig;
    TMainForm& f = rig.openPage("735t", {}, kQuartz, dividers);
    f.cb735ChlMode->setCurrentIndex(2);
    PageRig::enter(f.e735Del, "1,5");
    QCOMPARE(rig.lastMessage(), QString("Неверно задано значение делителя!?"));
    QCOMPARE(rig.dialogs.calls.back().caption, QString("Внимание!"));
    QCOMPARE(f.Freq.DividerCoef[0], 4.0);
    PageRig::enter(f.e735Del, "5,25");
    QCOMPARE(f.Freq.DividerCoef[0], 5.25);
    f.cb735ChlMode->setCurrentIndex(3);
    QCOMPARE(f.e735Del->text(), QString("3,500"));
    PageRig::enter(f.e735Del, "6");
    QCOMPARE(f.Freq.DividerCoef[1], 6.0);
    QCOMPARE(rig.sentCommands(), (QStringList{"Set 735t 2 0 0 5.25 1 1", "Set 735t 2 0 0 1 6 1"}));
    f.cb735ChlMode->setCurrentIndex(2);
    QCOMPARE(f.e735Del->text(), QString("5,250"));

    // Typing without Enter and leaving puts the coefficient back.
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::mouseClick(f.e735Del, Qt::LeftButton);
    QCOMPARE(FieldStateOf(f.e735Del), FieldState::Editing);
    f.e735Del->setFocus();
    f.e735Del->setText("9");
    f.eFreqDel->setFocus();
    QCOMPARE(f.e735Del->text(), QString("5,250"));
    QCOMPARE(FieldStateOf(f.e735Del), FieldState::Input);

    // A translator has no coefficient to type.
    f.cb735ChlMode->setCurrentIndex(4);
    PageRig::enter(f.e735Del, "7");
    QVERIFY(rig.sentCommands().isEmpty());
}

// The page as the README shows it: a 735x frequency input at 1000 Hz.
void Page735Test::screenshot() {
    PageRig rig;
    TMainForm& f = rig.openPage("735x");
    f.e788Freq->setText("1000");
    click(f.Freq788Btn);
    QVERIFY(rig.poll());
    rig.advance(1.0);
    QVERIFY(rig.poll());
    const QImage shot = rig.screenshot("page_735.png");
    QCOMPARE(shot.size(), QSize(398, 273) * shot.devicePixelRatio());
    QCOMPARE(shot.pixelColor(f.Freq788Btn->mapTo(&f, QPoint(4, 4))), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(f.e735Freq->mapTo(&f, QPoint(3, 3))), kSilver);
}

QTEST_MAIN(Page735Test)
#include "page_735_test.moc"
