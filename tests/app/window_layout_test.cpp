// The main window as the operator first sees it: names, default texts,
// colour states, group captions and the pages of every notebook.

#include <QAbstractButton>
#include <QLabel>
#include <QTimer>

#include "app/field_state.h"
#include "app_rig.h"
#include "widgets/color_button.h"
#include "widgets/led_indicator.h"
#include "widgets/percent_gauge.h"
#include "widgets/speed_button.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

// Text a control shows, whatever its kind.
QString shownText(QObject* o) {
    if (auto* e = qobject_cast<QLineEdit*>(o)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(o)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(o)) return g->title();
    if (auto* b = qobject_cast<QAbstractButton*>(o)) return b->text();
    return "<" + QString(o->metaObject()->className()) + ">";
}

// A window that neither searches nor restarts: six arguments, another first word.
struct IdleWindow {
    AppRig rig;
    TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
};

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void fixedWindowWithCaption();
    void notebooksHoldNamedPages_data();
    void notebooksHoldNamedPages();
    void controlsCarryDefaultTexts_data();
    void controlsCarryDefaultTexts();
    void fieldColoursTellInputFromResult_data();
    void fieldColoursTellInputFromResult();
    void comboBoxesStartWithTheirItems_data();
    void comboBoxesStartWithTheirItems();
    void initialStatesOfButtonsAndIndicators();
};

void WindowLayoutTest::fixedWindowWithCaption() {
    IdleWindow w;
    QCOMPARE(w.form.windowTitle(), QString("Поверка модулей v1.0"));
    QCOMPARE(w.form.size(), QSize(398, 273));
    QCOMPARE(w.form.minimumSize(), w.form.maximumSize());
    QVERIFY(!(w.form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(w.form.font().family(), QString("Arial"));
    QCOMPARE(w.form.PollTimer->interval(), 1000);
    QVERIFY(!w.form.PollTimer->isActive());
}

void WindowLayoutTest::notebooksHoldNamedPages_data() {
    QTest::addColumn<QString>("notebook");
    QTest::addColumn<QStringList>("pages");
    QTest::newRow("NBMain") << "NBMain" << QStringList{"InitPage", "Work"};
    QTest::newRow("NBWork") << "NBWork" << QStringList{"PInit", "PAllCur", "PAll735"};
    QTest::newRow("NBCurImp") << "NBCurImp" << QStringList{"PCurrent", "PImpedance"};
    QTest::newRow("NB735Freq") << "NB735Freq"
                               << QStringList{"P735Freq", "P735xDetects", "P735Count", "P735tDels"};
}

void WindowLayoutTest::notebooksHoldNamedPages() {
    QFETCH(QString, notebook);
    QFETCH(QStringList, pages);
    IdleWindow w;
    auto* nb = w.form.findChild<QStackedWidget*>(notebook);
    QVERIFY(nb);
    QStringList names;
    for (int i = 0; i < nb->count(); ++i) names << nb->widget(i)->objectName();
    QCOMPARE(names, pages);
    QCOMPARE(nb->currentIndex(), 0);
}

void WindowLayoutTest::controlsCarryDefaultTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    struct Row {
        const char* name;
        const char* text;
    };
    const Row rows[] = {
        {"InitLabel", "Инициализация..."},
        {"LProc",
         "Установите переключатель выбора режима работы КП \"ЗИРОК-М\" в положение \"Режим "
         "замены модуля\"."},
        {"NextBtn", "Далее"},
        {"EndCheckBtn", "Закончить поверку"},
        {"CloseBtn", "Закрыть"},
        {"lCurChl", "Текущий канал:"},
        {"GrBoxGenCur", " Генератор токового сигнала КП \"ЗИРОК-М\" "},
        {"GrBox745Cur", " Измеритель токового сигнала "},
        {"GrBox745Imp", " Измеритель резистивного сигнала "},
        {"e787xIMin", "0"},
        {"e787xIMax", "20"},
        {"e787xParMin", "0"},
        {"e787xParMax", "20"},
        {"e745CurMin", "0"},
        {"e745CurMax", "20"},
        {"e745CurParMin", "0"},
        {"e745CurParMax", "20"},
        {"le787xOut", "4,000"},
        {"le787xCurLabel", "Задаваемое"},
        {"le787xOutLabel", "На выходе"},
        {"e745CurLabel", "На входе"},
        {"Start787xBtn", "Пуск"},
        {"Freq788Btn", "Пуск"},
        {"StartGenTime788Btn", "Пуск"},
        {"Start735xCountBtn", "Пуск"},
        {"StartCheckDelBtn", "Пуск"},
        {"StopDelBtn", "Стоп"},
        {"ResetDetectsBtn", "Сброс детекторов"},
        {"Reset735xBtn", "Сброс детекторов"},
        {"GrBox788Freq", "Генератор частотного сигнала КП \"ЗИРОК-М\" "},
        {"GrBox788Count", "Генератор частотного сигнала КП \"ЗИРОК-М\" "},
        {"GrBox788Time", " Генератор интервала времени КП \"ЗИРОК-М\" "},
        {"GrBox735Freq", " Измеритель частотного сигнала "},
        {"GrBox735xDetect", " Измеритель интервала времени "},
        {"GrBox735xCount", " Счетчик количества импульсов "},
        {"GrBoxCheckDel", " Поверка делителя "},
        {"GrBox735Del", " Делитель "},
        {"lKDel", "Коэффициент деления:"},
        {"lRepFreq", "Частота, Гц"},
    };
    for (const Row& r : rows) QTest::newRow(r.name) << QString(r.name) << QString(r.text);
}

void WindowLayoutTest::controlsCarryDefaultTexts() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    IdleWindow w;
    QObject* o = w.form.findChild<QObject*>(name);
    QVERIFY2(o, qPrintable(name));
    QCOMPARE(shownText(o), text);
}

void WindowLayoutTest::fieldColoursTellInputFromResult_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("input");
    for (const char* n :
         {"e787xIMin", "e787xIMax", "e787xParMin", "e787xParMax", "le787xCur", "e745CurMin",
          "e745CurMax", "e745CurParMin", "e745CurParMax", "e788Freq", "eTime788", "e788Freq_Count",
          "e735xCount", "eFreqDel", "eCountDel", "ePredDel", "e735Del"})
        QTest::newRow(n) << QString(n) << true;
    for (const char* n :
         {"e787xParam",  "le787xOut",      "e745Cur",           "e745CurPar",    "eErrorCur",
          "eErrorPar",   "eImp745",        "eTemp745",          "e788Per",       "e788FreqOut",
          "e735Freq",    "e735Time",       "eError735Freq",     "eError735Time", "eTime788Out",
          "e735xTime",   "e735xErrorTime", "e788FreqOut_Count", "e735xCountOut", "eErr735xCount",
          "eFreqDelOut", "eCountDelOut",   "e735DelOut",        "eError735tDel"})
        QTest::newRow(n) << QString(n) << false;
}

void WindowLayoutTest::fieldColoursTellInputFromResult() {
    QFETCH(QString, name);
    QFETCH(bool, input);
    IdleWindow w;
    auto* e = w.form.findChild<QLineEdit*>(name);
    QVERIFY2(e, qPrintable(name));
    QCOMPARE(e->isReadOnly(), !input);
    QCOMPARE(e->palette().color(QPalette::Base), input ? kInfoBackground : kSilver);
    QCOMPARE(FieldStateOf(e), input ? FieldState::Input : FieldState::ReadOnly);
    SetFieldState(e, FieldState::Editing);
    QCOMPARE(e->palette().color(QPalette::Base), kLightBlue);
    QVERIFY(!e->isReadOnly());
}

void WindowLayoutTest::comboBoxesStartWithTheirItems_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    const QStringList twoKinds = {"Абс. погр.", "Отн. погр."};
    QTest::newRow("cbErrorCur") << "cbErrorCur"
                                << QStringList{"Абс. погр.", "Отн. погр.", "Прив. погр."};
    for (const char* n : {"cb735Error", "cbError735xDet", "cbErr735xCount", "cbError735tDel"})
        QTest::newRow(n) << QString(n) << twoKinds;
    QTest::newRow("cbMaterialImp")
        << "cbMaterialImp" << QStringList{"Платина", "Медь", "Евро-платина"};
    QTest::newRow("cb735ChlMode") << "cb735ChlMode" << QStringList{"трансляция 2 канала"};
    QTest::newRow("cbChlMode") << "cbChlMode" << QStringList{};
}

void WindowLayoutTest::comboBoxesStartWithTheirItems() {
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    IdleWindow w;
    auto* box = w.form.findChild<QComboBox*>(name);
    QVERIFY2(box, qPrintable(name));
    QStringList have;
    for (int i = 0; i < box->count(); ++i) have << box->itemText(i);
    QCOMPARE(have, items);
    QCOMPARE(box->currentIndex(), items.isEmpty() ? -1 : 0);
}

void WindowLayoutTest::initialStatesOfButtonsAndIndicators() {
    IdleWindow w;
    TMainForm& f = w.form;
    QVERIFY(!f.EndCheckBtn->isEnabled());
    QVERIFY(f.CloseBtn->isEnabled());
    QVERIFY(f.InitPrBar->isHidden());
    QCOMPARE(f.InitPrBar->maximum(), 100);
    QVERIFY(f.FindPrBar->isHidden());
    QCOMPARE(f.FindPrBar->maximum(), 100);
    QVERIFY(f.StopDelBtn->isHidden());
    QVERIFY(f.lRepFreq->isHidden());
    QVERIFY(!f.lKDel->isHidden());
    for (ColorButton* b : {f.Start787xBtn, f.Freq788Btn, f.StartGenTime788Btn, f.Start735xCountBtn,
                           f.StartCheckDelBtn})
        QCOMPARE(b->color(), QColor(Qt::red));
    for (LedIndicator* led : {f.D1Led, f.D2Led, f.D1LedCount, f.D2LedCount}) QVERIFY(!led->isLit());
}

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
