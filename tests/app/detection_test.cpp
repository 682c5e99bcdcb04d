// Detection of the module under test: identification, refusals, FLASH
// preparation, the configuration lines of every kind, the switch check.

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "app/flash_journal.h"
#include "app_rig.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

const char* const kMeterLine = "745t 1 3    23 4  99.87    100.02    1 2500";
const char* const kGeneratorLine = "787x 1 3    23 1  4  6";

// FLASH set-up of a module by model: the values the detection reads.
void fillFlash(sim::SimModule& m) {
    sim::Flash& f = m.flash();
    const std::string& model = m.model();
    if (model == "745t") {
        f.setParam(2, 50.5);
        f.setParam(5, 100.1);
    } else if (model == "748x") {
        f.setParam(2, 10);
        f.setParam(3, 20.5);
        f.setParam(4, 30);
    } else if (model == "748t") {
        f.setParam(2, 49.9);
        f.setParam(3, 50.1);
    } else if (model == "735t") {
        f.setParam(1, 7374.6);
        f.setCoef(1, 4);
        f.setCoef(2, 3.5);
    } else if (model == "735x") {
        f.setParam(1, 7374.6);
    }
}

// A second module of a composite device with its own values.
void fillSecond(sim::SimModule& m) {
    sim::Flash& f = m.flash();
    if (m.model() == "745t") {
        f.setParam(2, 51);
        f.setParam(5, 99.5);
    } else {
        f.setParam(2, 11);
        f.setParam(3, 12);
        f.setParam(4, 13);
    }
}

}  // namespace

class DetectionTest : public QObject {
    Q_OBJECT

  private slots:
    void writesConfigurationLinesPerKind_data();
    void writesConfigurationLinesPerKind();
    void prepares745tAndKeepsJournal();
    void replacesUnsetDividerCoefficients();
    void keepsAddressSixWithoutWriting();
    void refusesModulesItCannotVerify_data();
    void refusesModulesItCannotVerify();
    void repeatsWhenNoModuleAnswers();
    void reportsFailedFlashWrite_data();
    void reportsFailedFlashWrite();
    void missingCalibratorFileClosesWindow();
    void switchCheckRefusesWhileModuleAnswersAtZero();
    void nextDoesNothingAtSteps3To9();
};

void DetectionTest::writesConfigurationLinesPerKind_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("files");  // name, content, name, content...

    QTest::newRow("745t") << "745t"
                          << "" << 1
                          << QStringList{"tp745t.cfg", QString(kMeterLine) +
                                                           "\r\n745t 2    3    23 6    50.5    "
                                                           "100.1    1 2500\r\n"};
    QTest::newRow("748x") << "748x"
                          << "" << 2
                          << QStringList{"tp748x.cfg",
                                         "748x 2    3    23 6    -1 10    20.5    30    \r\n"};
    QTest::newRow("748t") << "748t"
                          << "" << 3
                          << QStringList{"tp748t.cfg",
                                         "748t 2    3    23 6    49.9    50.1    \r\n"};
    QTest::newRow("735t") << "735t"
                          << "" << 5
                          << QStringList{
                                 "tp735t.cfg",
                                 "735t 2    3    23 6    7374.6    0 0 0 0 4    3.5    \r\n"};
    QTest::newRow("735x") << "735x"
                          << "" << 6
                          << QStringList{"tp735x.cfg",
                                         "735x 2    3    23 6    7374.6    0 0 0 0\r\n"};
    QTest::newRow("787x") << "787x"
                          << "" << 8
                          << QStringList{"tp787x.cfg", QString(kGeneratorLine) +
                                                           "\r\n787x 2    3    23 6    4  6\r\n"};
    QTest::newRow("745t+745t") << "745t"
                               << "745t" << 13
                               << QStringList{
                                      "tp745t.cfg",
                                      QString(kMeterLine) +
                                          "\r\n745t 2    3    23 6    50.5    100.1    1 2500\r\n"
                                          "745t 3    3    23 7    51    99.5    1 2500\r\n"};
    QTest::newRow("745t+748x") << "745t"
                               << "748x" << 14
                               << QStringList{
                                      "tp745t.cfg",
                                      QString(kMeterLine) +
                                          "\r\n745t 2    3    23 6    50.5    100.1    1 2500\r\n",
                                      "tp748x.cfg",
                                      "748x 3    3    23 7    -1 11    12    13    \r\n"};
    QTest::newRow("748x+748x") << "748x"
                               << "748x" << 15
                               << QStringList{"tp748x.cfg",
                                              "748x 2    3    23 6    -1 10    20.5    30    \r\n"
                                              "748x 3    3    23 7    -1 11    12    13    \r\n"};
}

void DetectionTest::writesConfigurationLinesPerKind() {
    QFETCH(QString, model);
    QFETCH(QString, second);
    QFETCH(int, kind);
    QFETCH(QStringList, files);

    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fillFlash(rig.plug(model.toStdString(), 3));
        if (!second.isEmpty()) {
            auto m = sim::makeDevice(second.toStdString());
            m->flash().setAddress(4);
            fillSecond(*m);
            rig.bench.plugSecond(std::move(m)).powerOn();
        }
    }
    rig.next();
    rig.next();

    QVERIFY2(rig.dialogs.calls.empty(),
             qPrintable(rig.dialogs.calls.empty() ? "" : rig.dialogs.calls[0].text));
    QCOMPARE(form.ModuleKind, kind);
    QCOMPARE(form.SecondKind, second.isEmpty() ? 0 : (second == "745t" ? 1 : 2));
    QCOMPARE(form.DeviceModuleCount, second.isEmpty() ? 1 : 2);
    for (int i = 0; i + 1 < files.size(); i += 2)
        QCOMPARE(QString::fromStdString(rig.file(files[i].toStdString())), files[i + 1]);
    QCOMPARE(form.WizardStep, 2);
    QCOMPARE(form.ExpectedNumber(), std::string("2"));
    QCOMPARE(form.LProc->text(), QString("Установите переключатель выбора режима работы КП "
                                         "\"Зирок\" в положение \"Режим поверки\"."));
    QVERIFY(!form.NextBtn->isHidden());
    QVERIFY(form.FindPrBar->isHidden());
    QVERIFY(form.CanClose);
}

void DetectionTest::prepares745tAndKeepsJournal() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fillFlash(rig.plug("745t", 3));
    }
    rig.next();
    QCOMPARE(form.LProc->text(), QString("Подключите модуль к разъему \"Шина обмена\"."));
    rig.next();
    QCOMPARE(form.SavedAddress, 3);
    QVERIFY(form.FlashChanged);
    QCOMPARE(rig.underTestAddress(), 6);
    QCOMPARE(form.Flash.X[1], 50.5);
    QCOMPARE(form.Flash.X[2], 100.1);

    FlashJournal j;
    QVERIFY(ReadFlashJournal(rig.dir(), j));
    QCOMPARE(j.CalibratorPort, 3);
    QCOMPARE(j.SavedAddress, 3);
    QVERIFY(j.AddressChanged);
    QVERIFY(!j.CoefReplaced[0] && !j.CoefReplaced[1]);
    QCOMPARE(j.Designation, form.ModuleDesignation);
}

void DetectionTest::replacesUnsetDividerCoefficients() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        sim::SimModule& m = rig.plug("735t", 6);
        fillFlash(m);
        m.flash().setCoef(1, 1.5);  // below 2: not usable as a divider
    }
    rig.next();
    rig.next();
    QVERIFY(rig.dialogs.calls.empty());
    // The address was 6 already: only the coefficient changed.
    QVERIFY(!form.FlashChanged);
    QVERIFY(form.CoefReplaced[0]);
    QVERIFY(!form.CoefReplaced[1]);
    QCOMPARE(form.Freq.DividerCoef[0], 2.0);
    QCOMPARE(form.Freq.DividerCoef[1], 3.5);
    {
        auto lk = rig.bench.lock();
        QCOMPARE(rig.bench.underTest()->flash().coef(1).value_or(-1), 2.0);
    }
    QCOMPARE(rig.file("tp735t.cfg"),
             std::string("735t 2    3    23 6    7374.6    0 0 0 0 2    3.5    \r\n"));
    FlashJournal j;
    QVERIFY(ReadFlashJournal(rig.dir(), j));
    QVERIFY(!j.AddressChanged);
    QVERIFY(j.CoefReplaced[0]);
}

void DetectionTest::keepsAddressSixWithoutWriting() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fillFlash(rig.plug("745t", 6));
    }
    rig.next();
    rig.next();
    QVERIFY(rig.dialogs.calls.empty());
    QVERIFY(!form.FlashChanged);
    QCOMPARE(form.WizardStep, 2);
    FlashJournal j;
    QVERIFY(!ReadFlashJournal(rig.dir(), j));
    // Closing needs no question: nothing was changed.
    QVERIFY(form.close());
    QVERIFY(rig.dialogs.calls.empty());
}

void DetectionTest::refusesModulesItCannotVerify_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("ident");  // empty: the model's own
    QTest::addColumn<bool>("meter");
    QTest::addColumn<QString>("designation");
    QTest::newRow("765x") << "765x"
                          << "" << true << "ЮКТ - 765X.01A v10";
    QTest::newRow("765x second code") << "765x"
                                      << "65X02B11" << true << "ЮКТ - 765X.02B v11";
    QTest::newRow("788t") << "788t"
                          << "" << true << "ЮКТ - 788T.01A v10";
    QTest::newRow("unidentified") << "745t"
                                  << "QQ123A10" << true << "QQ123A10";
    QTest::newRow("787x without meter") << "787x"
                                        << "" << false << "ЮКТ - 787X.01A v10";
}

void DetectionTest::refusesModulesItCannotVerify() {
    QFETCH(QString, model);
    QFETCH(QString, ident);
    QFETCH(bool, meter);
    QFETCH(QString, designation);
    AppRig rig(meter);
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        sim::SimModule& m = rig.plug(model.toStdString(), 3);
        if (!ident.isEmpty()) m.setIdent(ident.toStdString());
    }
    rig.next();
    rig.next();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    const DialogCall& c = rig.dialogs.calls[0];
    QCOMPARE(c.text, "Найден модуль: " + designation +
                         "\n\rДанная программа не предназначена для поверки данного типа модулей");
    QCOMPARE(c.caption, QString("Внимание!"));
    QCOMPARE(c.icon, DlgIcon::Warning);
    QCOMPARE(c.buttons, DlgButtons::Ok);
    QCOMPARE(form.WizardStep, 1);
    QVERIFY(!form.NextBtn->isHidden());
    QVERIFY(form.FindPrBar->isHidden());
    QVERIFY(form.CanClose);
    QVERIFY(!form.FlashChanged);
    QCOMPARE(rig.underTestAddress(), 3);
    QCOMPARE(form.ExpectedNumber(), std::string("1"));
}

void DetectionTest::repeatsWhenNoModuleAnswers() {
    AppRig rig;
    TMainForm& form = rig.launch();
    rig.next();
    rig.next();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(rig.dialogs.calls[0].text,
             QString(17, ' ') + "Модуль не найден?!\n\rПроверьте правильность подключения модуля");
    QCOMPARE(rig.dialogs.calls[0].caption, QString("Внимание!"));
    QCOMPARE(form.WizardStep, 1);
    QVERIFY(!form.NextBtn->isHidden());
    QVERIFY(form.CanClose);

    // Plugged in now, the next press finds it.
    {
        auto lk = rig.bench.lock();
        fillFlash(rig.plug("745t", 3));
    }
    rig.next();
    QCOMPARE(form.WizardStep, 2);
    QCOMPARE(rig.underTestAddress(), 6);
}

void DetectionTest::reportsFailedFlashWrite_data() {
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("restored");
    // The three address copies are written, then the first one is read back
    // and rewritten twice before the write counts as failed.
    QTest::newRow("one cell never confirmed") << 3 + 5 << true;
    QTest::newRow("module gone silent") << sim::kForever << false;
}

void DetectionTest::reportsFailedFlashWrite() {
    QFETCH(int, times);
    QFETCH(bool, restored);
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fillFlash(rig.plug("745t", 3));
    }
    rig.next();
    // Identification, three address cells and two ten-character parameters
    // in three copies are read before the first write; from there on `times`
    // replies go unanswered.
    const int requestsBeforeWrites = 1 + 3 + 30 + 30;
    rig.bench.injectFault(
        {sim::FaultKind::Silence, sim::kUnderTestBusAddress, requestsBeforeWrites, times, 8});
    rig.next();

    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(rig.dialogs.calls[0].caption, QString("Ошибка!"));
    QVERIFY(rig.dialogs.calls[0].text.startsWith("Ошибка записи FLASH модуля!?"));
    QCOMPARE(form.WizardStep, 1);
    QVERIFY(!form.NextBtn->isHidden());
    QVERIFY(form.CanClose);
    QCOMPARE(form.FlashChanged, !restored);
    FlashJournal j;
    QCOMPARE(ReadFlashJournal(rig.dir(), j), !restored);
    QVERIFY(!rig.fileExists("tp745t.cfg") ||
            rig.file("tp745t.cfg").find("745t 2") == std::string::npos);
    rig.bench.clearFaults();
    if (restored) QCOMPARE(rig.underTestAddress(), 3);
}

void DetectionTest::missingCalibratorFileClosesWindow() {
    AppRig rig;
    TMainForm& form = rig.launch();
    QFile::remove(QString::fromStdString(rig.dir() + "tp787x.cfg"));
    {
        auto lk = rig.bench.lock();
        rig.plug("787x", 6);
    }
    form.show();
    rig.next();
    rig.next();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(rig.dialogs.calls[0].text,
             QString("Не найден файл tp787x.cfg!?\n\rПриложение будет закрыто"));
    QCOMPARE(rig.dialogs.calls[0].caption, QString("Внимание!"));
    QVERIFY(form.Closed());
}

void DetectionTest::switchCheckRefusesWhileModuleAnswersAtZero() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fillFlash(rig.plug("745t", 3));
    }
    rig.next();
    rig.next();
    QCOMPARE(form.WizardStep, 2);
    rig.next();  // the switch is still at "Режим замены модуля"
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(rig.dialogs.calls[0].text,
             QString("Произошла ошибка инициализации КП \"Зирок-М\"?!\n\rПроверьте переключатель "
                     "выбора режима работы КП \"Зирок-М\".\n\rОн должен находиться в положении "
                     "\"Режим поверки\"!"));
    QCOMPARE(rig.dialogs.calls[0].caption, QString("Внимание!"));
    QCOMPARE(form.WizardStep, 2);
    QVERIFY(form.Instrument() == nullptr);
    QCOMPARE(form.NBWork->currentIndex(), 0);
}

void DetectionTest::nextDoesNothingAtSteps3To9() {
    AppRig rig;
    TMainForm& form = rig.launch();
    const QString text = form.LProc->text();
    for (int step = 3; step <= 9; ++step) {
        form.WizardStep = step;
        rig.next();
        QCOMPARE(form.WizardStep, step + 1);
    }
    QCOMPARE(form.LProc->text(), text);
    QVERIFY(rig.dialogs.calls.empty());
    QCOMPARE(form.NBWork->currentIndex(), 0);
}

QTEST_MAIN(DetectionTest)
#include "detection_test.moc"
