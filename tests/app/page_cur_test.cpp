// The current and resistance page on the simulated bench: reference currents
// set on a generator, what the module under test measures, the errors, the
// ranges and scale, the channels of composite devices, the RTD material.

#include <QComboBox>
#include <QLineEdit>
#include <QStackedWidget>

#include "app/field_state.h"
#include "app/page_fields.h"
#include "records/ru_format.h"
#include "common/cp1251.h"
#include "common/text.h"
#include "page_rig.h"
#include "widgets/color_button.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

// The reference current, as the operator sets it on the generator.
void setCurrent(TMainForm& f, const QString& mA) {
    f.le787xCur->setText(mA);
    QTest::mouseClick(f.Start787xBtn, Qt::LeftButton);
}

void addCurrentError(PageRig& rig, double mA) {
    auto lk = rig.bench.lock();
    rig.bench.physics().currentErrorMa = mA;
}

}  // namespace

class PageCurTest : public QObject {
    Q_OBJECT

  private slots:
    void filtersKeysOfNumberFields_data();
    void filtersKeysOfNumberFields();
    void typedKeysReachTheField();
    void generatorCurrentIsMeasuredPerKind_data();
    void generatorCurrentIsMeasuredPerKind();
    void measuredCurrentIsLimitedToRange();
    void showsErrorOfTheSelectedKind_data();
    void showsErrorOfTheSelectedKind();
    void errorKindAppliesFromNextReply();
    void correctsRanges_data();
    void correctsRanges();
    void rangeFieldEditingAndLeaving();
    void scaleGivesMeasuredParameter();
    void generatorFieldsAreCoupled_data();
    void generatorFieldsAreCoupled();
    void startRefusesCurrentOutsideRange_data();
    void startRefusesCurrentOutsideRange();
    void compositeChannelsSwitchReplies_data();
    void compositeChannelsSwitchReplies();
    void materialRewritesModuleLines_data();
    void materialRewritesModuleLines();
    void screenshot();
};

void PageCurTest::filtersKeysOfNumberFields_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");  // empty: dropped
    const int dec = int(KeyFilter::Decimal), dig = int(KeyFilter::Digits);
    QTest::newRow("digit") << dec << "7"
                           << "12"
                           << "7";
    QTest::newRow("point becomes comma") << dec << "."
                                         << "12"
                                         << ",";
    QTest::newRow("comma stays") << dec << ","
                                 << "12"
                                 << ",";
    QTest::newRow("second separator") << dec << "."
                                      << "1,2"
                                      << "";
    QTest::newRow("minus") << dec << "-"
                           << ""
                           << "-";
    QTest::newRow("plus") << dec << "+"
                          << ""
                          << "+";
    QTest::newRow("letter") << dec << "a"
                            << ""
                            << "";
    QTest::newRow("blank") << dec << " "
                           << "1"
                           << "";
    QTest::newRow("backspace") << dec << "\b"
                               << "1"
                               << "\b";
    QTest::newRow("enter") << dec << "\r"
                           << "1"
                           << "\r";
    QTest::newRow("arabic-indic digit") << dec << QString(QChar(0x0663)) << ""
                                        << "";
    QTest::newRow("digits: digit") << dig << "5"
                                   << ""
                                   << "5";
    QTest::newRow("digits: comma") << dig << ","
                                   << ""
                                   << "";
    QTest::newRow("digits: minus") << dig << "-"
                                   << ""
                                   << "";
    QTest::newRow("digits: enter") << dig << "\r"
                                   << ""
                                   << "\r";
}

void PageCurTest::filtersKeysOfNumberFields() {
    QFETCH(int, filter);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(QString, result);
    const std::optional<QChar> c = FilterKey(KeyFilter(filter), typed.front(), text);
    QCOMPARE(c.has_value(), !result.isEmpty());
    if (c) QCOMPARE(*c, result.front());
}

void PageCurTest::typedKeysReachTheField() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    f.le787xCur->clear();
    QTest::keyClicks(f.le787xCur, "1x2.5.7a");
    QCOMPARE(f.le787xCur->text(), QString("12,57"));
    QTest::keyClick(f.le787xCur, Qt::Key_Backspace);
    QCOMPARE(f.le787xCur->text(), QString("12,5"));
}

void PageCurTest::generatorCurrentIsMeasuredPerKind_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("command");
    QTest::newRow("745t") << "745t" << 0 << "Set 787x 1 10 6";
    QTest::newRow("748x channel 2") << "748x" << 1 << "Set 787x 1 10 6";
    QTest::newRow("748t channel 16") << "748t" << 15 << "Set 787x 1 10 6";
    // The module under test generates; the calibrator's meter measures.
    QTest::newRow("787x under test") << "787x" << -1 << "Set 787x 2 10 6";
}

void PageCurTest::generatorCurrentIsMeasuredPerKind() {
    QFETCH(QString, model);
    QFETCH(int, item);
    QFETCH(QString, command);
    PageRig rig;
    TMainForm& f = rig.openPage(model.toStdString());
    QCOMPARE(f.NBWork->currentIndex(), 1);
    if (item >= 0) f.cbChlMode->setCurrentIndex(item);
    // Another current on the loop before, so that a stale reading shows.
    setCurrent(f, "5");
    QVERIFY(rig.poll());
    QCOMPARE(f.e745Cur->text(), QString("5"));

    setCurrent(f, "10");
    QCOMPARE(f.le787xOut->text(), QString("10"));
    QCOMPARE(f.Cur.RefCurrent, 10.0);
    QCOMPARE(rig.sentCommands(), (QStringList{QString(command).replace(" 10 ", " 5 "), command}));
    QVERIFY(rig.poll());
    QCOMPARE(f.e745Cur->text(), QString("10"));
    QCOMPARE(f.eErrorCur->text(), QString("0,000 мА"));
    QCOMPARE(f.e745CurPar->text(), QString("10,000"));
    QCOMPARE(f.eErrorPar->text(), QString("0,000"));
    QVERIFY(rig.dialogs.calls.empty());
}

void PageCurTest::measuredCurrentIsLimitedToRange() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    setCurrent(f, "20");
    addCurrentError(rig, 1.0);  // the module reads 21 mA
    QVERIFY(rig.poll());
    QCOMPARE(f.e745Cur->text(), QString("20"));
    QCOMPARE(f.eErrorCur->text(), QString("0,000 мА"));

    setCurrent(f, "4");
    addCurrentError(rig, -4.5);  // below the range: -0,5 mA
    QVERIFY(rig.poll());
    QCOMPARE(f.e745Cur->text(), QString("0"));
    QCOMPARE(f.eErrorCur->text(), QString("-4,000 мА"));
}

void PageCurTest::showsErrorOfTheSelectedKind_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<double>("offset");  // mA added to what the module reads
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("parameter");
    // Range 0..20 mA, scale 0..20: the parameter error equals the current's.
    QTest::newRow("absolute") << 0 << "10" << 0.1 << "0,100 мА"
                              << "0,100";
    QTest::newRow("absolute at 12 mA") << 0 << "12" << 0.012 << "0,012 мА"
                                       << "0,012";
    QTest::newRow("absolute below") << 0 << "10" << -0.25 << "-0,250 мА"
                                    << "-0,250";
    QTest::newRow("relative") << 1 << "10" << 0.1 << "1,000 %"
                              << "1,000 %";
    QTest::newRow("reduced") << 2 << "10" << 0.1 << "0,500 %"
                             << "0,500 %";
    QTest::newRow("relative to nothing") << 1 << "0" << 0.5 << kNoError << kNoError;
    QTest::newRow("reduced of nothing") << 2 << "0" << 0.5 << "2,500 %"
                                        << "2,500 %";
    QTest::newRow("relative far off") << 1 << "2" << 2.5 << kNoError << kNoError;
}

void PageCurTest::showsErrorOfTheSelectedKind() {
    QFETCH(int, kind);
    QFETCH(QString, reference);
    QFETCH(double, offset);
    QFETCH(QString, current);
    QFETCH(QString, parameter);
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    f.cbErrorCur->setCurrentIndex(kind);
    setCurrent(f, reference);
    addCurrentError(rig, offset);
    QVERIFY(rig.poll());
    QCOMPARE(f.eErrorCur->text(), current);
    QCOMPARE(f.eErrorPar->text(), parameter);
}

void PageCurTest::errorKindAppliesFromNextReply() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    setCurrent(f, "10");
    addCurrentError(rig, 0.1);
    QVERIFY(rig.poll());
    QCOMPARE(f.eErrorCur->text(), QString("0,100 мА"));
    f.cbErrorCur->setCurrentIndex(1);
    QCOMPARE(f.eErrorCur->text(), QString("0,100 мА"));
    QVERIFY(rig.poll());
    QCOMPARE(f.eErrorCur->text(), QString("1,000 %"));
}

void PageCurTest::correctsRanges_data() {
    QTest::addColumn<bool>("generatorGroup");
    QTest::addColumn<QStringList>("typed");   // min, max, scale min, scale max
    QTest::addColumn<QStringList>("stored");  // as written back
    QTest::newRow("min above max")
        << false << QStringList{"5", "3", "0", "20"} << QStringList{"5", "20", "0", "20"};
    QTest::newRow("min equal max")
        << true << QStringList{"5", "5", "0", "20"} << QStringList{"5", "20", "0", "20"};
    QTest::newRow("narrow range") << false << QStringList{"4", "12,5", "-10", "10"}
                                  << QStringList{"4", "12,5", "-10", "10"};
    QTest::newRow("negative min") << true << QStringList{"-1", "10", "0", "20"}
                                  << QStringList{"0", "10", "0", "20"};
    QTest::newRow("min above 19") << false << QStringList{"19,5", "20", "0", "20"}
                                  << QStringList{"0", "20", "0", "20"};
    QTest::newRow("max above 20") << true << QStringList{"2", "25", "0", "20"}
                                  << QStringList{"2", "20", "0", "20"};
    QTest::newRow("not numbers") << false << QStringList{"", "-", "x", ","}
                                 << QStringList{"0", "20", "0", "20"};
}

void PageCurTest::correctsRanges() {
    QFETCH(bool, generatorGroup);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, stored);
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    QLineEdit* meter[4] = {f.e745CurMin, f.e745CurMax, f.e745CurParMin, f.e745CurParMax};
    QLineEdit* generator[4] = {f.e787xIMin, f.e787xIMax, f.e787xParMin, f.e787xParMax};
    QLineEdit** edited = generatorGroup ? generator : meter;
    for (int i = 0; i < 4; ++i) edited[i]->setText(typed[i]);
    QTest::keyClick(edited[1], Qt::Key_Return);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(meter[i]->text(), stored[i]);
        QCOMPARE(generator[i]->text(), stored[i]);
        QCOMPARE(FieldStateOf(edited[i]), FieldState::Input);
    }
    QCOMPARE(records::RuShort(f.Cur.CurMin), stored[0]);
    QCOMPARE(records::RuShort(f.Cur.CurMax), stored[1]);
    QCOMPARE(records::RuShort(f.Cur.ParMin), stored[2]);
    QCOMPARE(records::RuShort(f.Cur.ParMax), stored[3]);
    QVERIFY(rig.dialogs.calls.empty());
}

void PageCurTest::rangeFieldEditingAndLeaving() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    f.show();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::mouseClick(f.e745CurMax, Qt::LeftButton);
    QCOMPARE(FieldStateOf(f.e745CurMax), FieldState::Editing);
    f.e745CurMax->setFocus();
    QTest::keyClicks(f.e745CurMax, "\b\b15");
    QCOMPARE(f.e745CurMax->text(), QString("15"));
    // Leaving without Enter: the stored value comes back.
    f.e745CurMin->setFocus();
    QCOMPARE(f.e745CurMax->text(), QString("20"));
    QCOMPARE(FieldStateOf(f.e745CurMax), FieldState::Input);
    QCOMPARE(f.Cur.CurMax, 20.0);

    // The generator's scale fields store their own value on Enter.
    PageRig::enter(f.e787xParMin, "4");
    QCOMPARE(f.Cur.ParMin, 4.0);
    QCOMPARE(f.e745CurParMin->text(), QString("4"));
    PageRig::enter(f.e787xParMax, "abc");
    QCOMPARE(f.Cur.ParMax, 20.0);
    QCOMPARE(f.e787xParMax->text(), QString("20"));
}

void PageCurTest::scaleGivesMeasuredParameter() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    f.e745CurParMin->setText("4");
    QTest::keyClick(f.e745CurParMin, Qt::Key_Return);
    setCurrent(f, "10");
    QVERIFY(rig.poll());
    QCOMPARE(f.e745Cur->text(), QString("10"));
    QCOMPARE(f.e745CurPar->text(), QString("12,000"));
    QCOMPARE(f.e787xParam->text(), QString("12,000"));  // the reference parameter
    QCOMPARE(f.eErrorPar->text(), QString("0,000"));
}

void PageCurTest::generatorFieldsAreCoupled_data() {
    QTest::addColumn<bool>("throughParameter");
    QTest::addColumn<QString>("scaleMin");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("current");  // le787xCur afterwards
    QTest::addColumn<QString>("param");    // e787xParam afterwards
    QTest::addColumn<QString>("message");
    QTest::newRow("current") << false << "4"
                             << "12"
                             << "12"
                             << "13,600"
                             << "";
    QTest::newRow("current with point") << false << "0"
                                        << "12.5"
                                        << "12,5"
                                        << "12,500"
                                        << "";
    QTest::newRow("current out of range") << false << "0"
                                          << "21"
                                          << "21"
                                          << ""
                                          << "Значение заданного тока выходит за пределы!";
    QTest::newRow("current not a number") << false << "0"
                                          << "-"
                                          << "-"
                                          << ""
                                          << "Неверно задано значение тока!";
    QTest::newRow("scale not a number") << false << "x"
                                        << "12"
                                        << "12"
                                        << ""
                                        << "Неверно заданы пределы параметров!";
    QTest::newRow("parameter") << true << "4"
                               << "13,6"
                               << "12,000"
                               << "13,6"
                               << "";
    QTest::newRow("parameter out of scale") << true << "4"
                                            << "3"
                                            << ""
                                            << "3"
                                            << "Значение заданного параметра выходит за пределы!";
    QTest::newRow("parameter not a number") << true << "4"
                                            << "+"
                                            << ""
                                            << "4"
                                            << "Неверно заданы значения параметров!";
    QTest::newRow("scale without width") << true << "20"
                                         << "20"
                                         << ""
                                         << "20"
                                         << "Неверно заданы пределы параметров!";
}

void PageCurTest::generatorFieldsAreCoupled() {
    QFETCH(bool, throughParameter);
    QFETCH(QString, scaleMin);
    QFETCH(QString, typed);
    QFETCH(QString, current);
    QFETCH(QString, param);
    QFETCH(QString, message);
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    f.e787xParMin->setText(scaleMin);
    f.le787xCur->clear();
    f.e787xParam->clear();
    QLineEdit* typedInto = throughParameter ? f.e787xParam : f.le787xCur;
    QLineEdit* other = throughParameter ? f.le787xCur : f.e787xParam;
    QTest::mouseClick(typedInto, Qt::LeftButton);
    QCOMPARE(FieldStateOf(typedInto), FieldState::Input);
    QCOMPARE(FieldStateOf(other), FieldState::ReadOnly);
    PageRig::enter(typedInto, typed);
    QCOMPARE(f.le787xCur->text(), current);
    QCOMPARE(f.e787xParam->text(), param);
    QCOMPARE(rig.lastMessage(), message);
    if (!message.isEmpty()) {
        QCOMPARE(rig.dialogs.calls.back().caption, QString("Ошибка"));
        QCOMPARE(rig.dialogs.calls.back().icon, DlgIcon::Warning);
    }
    if (message == "Неверно заданы значения параметров!") {
        QCOMPARE(f.e787xParMin->text(), QString("4"));
        QCOMPARE(f.e787xParMax->text(), QString("20"));
    }
    // Enter in the read-only field of the two does nothing.
    PageRig::enter(other, "7");
    QCOMPARE(typedInto->text(), throughParameter ? param : current);
    QVERIFY(rig.sentCommands().isEmpty());
}

void PageCurTest::startRefusesCurrentOutsideRange_data() {
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("command");  // empty: refused
    QTest::newRow("inside") << "4"
                            << "12,5"
                            << "Set 787x 1 12.5 6";
    QTest::newRow("at min") << "4"
                            << "4"
                            << "Set 787x 1 4 6";
    QTest::newRow("at max") << "4"
                            << "20"
                            << "Set 787x 1 20 6";
    QTest::newRow("below min") << "4"
                               << "3,9"
                               << "";
    QTest::newRow("above max") << "0"
                               << "20,1"
                               << "";
    QTest::newRow("not a number") << "0"
                                  << "abc"
                                  << "";
    QTest::newRow("empty") << "0"
                           << ""
                           << "";
}

void PageCurTest::startRefusesCurrentOutsideRange() {
    QFETCH(QString, min);
    QFETCH(QString, typed);
    QFETCH(QString, command);
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    PageRig::enter(f.e787xIMin, min);
    setCurrent(f, typed);
    if (command.isEmpty()) {
        QCOMPARE(rig.lastMessage(), QString("Неверно задано значение тока!"));
        QCOMPARE(rig.dialogs.calls.back().caption, QString("Ошибка"));
        QCOMPARE(f.le787xOut->text(), QString("4,000"));
        QCOMPARE(f.Cur.RefCurrent, 4.0);
        QVERIFY(rig.sentCommands().isEmpty());
    } else {
        QVERIFY(rig.dialogs.calls.empty());
        QCOMPARE(rig.sentCommands(), QStringList{command});
        QCOMPARE(f.le787xOut->text(), f.le787xCur->text());
    }
}

void PageCurTest::compositeChannelsSwitchReplies_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("pollCommand");
    QTest::addColumn<int>("page");  // of NBCurImp
    QTest::newRow("745t+745t current 1") << "745t"
                                         << "745t" << 0 << "2"
                                         << "Get 745t 2" << 0;
    QTest::newRow("745t+745t current 2") << "745t"
                                         << "745t" << 1 << "3"
                                         << "Get 745t 2" << 0;
    QTest::newRow("745t+745t resistance 1") << "745t"
                                            << "745t" << 2 << "2"
                                            << "Get 745t 2" << 1;
    QTest::newRow("745t+745t resistance 2") << "745t"
                                            << "745t" << 3 << "3"
                                            << "Get 745t 2" << 1;
    QTest::newRow("745t+748x current 1") << "745t"
                                         << "748x" << 0 << "2"
                                         << "Get 745t 2" << 0;
    QTest::newRow("745t+748x current 3") << "745t"
                                         << "748x" << 2 << "3"
                                         << "Get 748x 2" << 0;
    QTest::newRow("745t+748x resistance") << "745t"
                                          << "748x" << 4 << "2"
                                          << "Get 745t 2" << 1;
    QTest::newRow("748x+748x current 2") << "748x"
                                         << "748x" << 1 << "2"
                                         << "Get 748x 2" << 0;
    QTest::newRow("748x+748x current 5") << "748x"
                                         << "748x" << 4 << "3"
                                         << "Get 748x 2" << 0;
}

void PageCurTest::compositeChannelsSwitchReplies() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, item);
    QFETCH(QString, expected);
    QFETCH(QString, pollCommand);
    QFETCH(int, page);
    PageRig rig;
    TMainForm& f = rig.openPage(first.toStdString(), second.toStdString());
    {
        auto lk = rig.bench.lock();
        rig.bench.physics().rtdOhm = 110;
    }
    setCurrent(f, "16");
    f.cbChlMode->setCurrentIndex(item);
    QCOMPARE(QString::fromStdString(f.ExpectedNumber()), expected);
    QCOMPARE(QString::fromStdString(f.PollCommand), pollCommand);
    QCOMPARE(f.NBCurImp->currentIndex(), page);
    QVERIFY(rig.poll());
    QCOMPARE(QString::fromStdString(GetColumn(f.LastReplyLine(), 2)), expected);
    QCOMPARE(f.e745Cur->text(), QString("16"));
    if (page == 1) QCOMPARE(f.eImp745->text(), QString("110,000"));
}

void PageCurTest::materialRewritesModuleLines_data() {
    QTest::addColumn<QString>("second");
    QTest::newRow("745t") << "";
    QTest::newRow("745t+745t") << "745t";
}

void PageCurTest::materialRewritesModuleLines() {
    QFETCH(QString, second);
    PageRig rig;
    TMainForm& f = rig.openPage("745t", second.toStdString());
    {
        auto lk = rig.bench.lock();
        rig.bench.physics().rtdOhm = 150;
    }
    f.cbChlMode->setCurrentIndex(second.isEmpty() ? 1 : 2);
    QVERIFY(rig.poll());
    const QString platinum = f.eTemp745->text();
    const QString caption = f.windowTitle();
    f.cbMaterialImp->setCurrentIndex(1);  // "Медь"
    QVERIFY2(rig.dialogs.calls.empty(), qPrintable(rig.lastMessage()));
    QCOMPARE(f.windowTitle(), caption);
    QVERIFY(f.Polling);
    QVERIFY(f.PollTimer->isActive());
    f.PollTimer->stop();

    std::string text;
    QVERIFY(ReadTextFile(rig.dir() + "tp745t.cfg", text));
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    QCOMPARE(lines.size(), second.isEmpty() ? std::size_t(2) : std::size_t(3));
    QCOMPARE(GetColumn(lines[0], 8), std::string("1"));  // the calibrator's meter
    for (std::size_t i = 1; i < lines.size(); ++i) {
        QCOMPARE(GetColumn(lines[i], 2), std::to_string(i + 1));
        QCOMPARE(GetColumn(lines[i], 8), std::string("2"));
        QCOMPARE(GetColumn(lines[i], 9), std::string("2500"));
    }
    // The module was re-read with its new material: another temperature.
    QVERIFY(rig.poll());
    QVERIFY2(f.eTemp745->text() != platinum, qPrintable(platinum));
}

// The page as the README shows it: a 745t current channel at 12 mA.
void PageCurTest::screenshot() {
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    PageRig::enter(f.e745CurParMin, "4");
    setCurrent(f, "12");
    addCurrentError(rig, 0.012);
    f.cbErrorCur->setCurrentIndex(2);
    QVERIFY(rig.poll());
    const QImage shot = rig.screenshot("page_cur.png");
    QCOMPARE(shot.size(), QSize(398, 273) * shot.devicePixelRatio());
    // Drawn, not blank: the red start button and the silver result fields.
    QCOMPARE(shot.pixelColor(f.Start787xBtn->mapTo(&f, QPoint(4, 4))), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(f.e745Cur->mapTo(&f, QPoint(3, 3))), kSilver);
}

QTEST_MAIN(PageCurTest)
#include "page_cur_test.moc"
