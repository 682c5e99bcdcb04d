// Start-up: the calibrator search over COM1..COM4, the default files, the
// question when no calibrator answers, and the restarted instance.

#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>

#include "app_rig.h"
#include "sim/calibrator.h"
#include "widgets/percent_gauge.h"

using namespace yukt;
using namespace yukt::testing;

class StartupTest : public QObject {
    Q_OBJECT

  private slots:
    void findsCalibratorOnCom3AndWritesDefaultFiles_data();
    void findsCalibratorOnCom3AndWritesDefaultFiles();
    void passesOverPortWithoutFrequencyGenerator();
    void findsCalibratorOnPseudoTerminal();
    void asksWhenNoCalibratorAnswers_data();
    void asksWhenNoCalibratorAnswers();
    void restartArgumentsSkipTheSearch();
    void restartPassesStateAndKeepsFiles();
    void closingDeletesGeneratedFiles();
};

void StartupTest::findsCalibratorOnCom3AndWritesDefaultFiles_data() {
    QTest::addColumn<bool>("meter");
    QTest::newRow("with meter") << true;
    QTest::newRow("without meter") << false;
}

void StartupTest::findsCalibratorOnCom3AndWritesDefaultFiles() {
    QFETCH(bool, meter);
    AppRig rig(meter);
    TMainForm& form = rig.create();
    QVERIFY(form.InitRunning());
    QVERIFY(!form.CanClose);
    QVERIFY(rig.waitForStartup());

    QVERIFY(rig.dialogs.calls.empty());
    QCOMPARE(form.NBMain->currentIndex(), 1);
    QCOMPARE(form.NBMain->currentWidget()->objectName(), QString("Work"));
    QVERIFY(form.CanClose);
    QVERIFY(form.CalibratorFound);
    QCOMPARE(form.CalibratorPort, 3);
    QCOMPARE(form.HasMeter, meter);
    QCOMPARE(form.QuartzKHz, sim::kCalibratorQuartzKHz);
    QCOMPARE(form.ExpectedNumber(), std::string("1"));
    QVERIFY(form.InitPrBar->isHidden());
    QCOMPARE(form.InitLabel->text(), QString());

    QCOMPARE(rig.file("tp6606.cfg"), std::string(";$300 1 10794000 9600\r\n"));
    QCOMPARE(rig.file("tp787x.cfg"), std::string("787x 1 3    23 1  4  6\r\n"));
    QCOMPARE(rig.file("tp788t.cfg"), std::string("788t 1 3    23 2  7374.6075    100 5 3\r\n"));
    QCOMPARE(rig.file("tpCom.cfg"), std::string("3    9600\r\n"));
    if (meter)
        QCOMPARE(rig.file("tp745t.cfg"),
                 std::string("745t 1 3    23 4  99.87    100.02    1 2500\r\n"));
    else
        QVERIFY(!rig.fileExists("tp745t.cfg"));
}

void StartupTest::passesOverPortWithoutFrequencyGenerator() {
    AppRig rig;
    // COM1 carries a current generator at address 1 but nothing at 2.
    sim::Bench generatorOnly;
    generatorOnly.place(1, sim::makeCalibratorGenerator(), sim::Role::Generator);
    rig.benches[1] = &generatorOnly;
    // COM2 has the two generators but the frequency generator is another model.
    sim::Bench wrongModel;
    wrongModel.place(1, sim::makeCalibratorGenerator(), sim::Role::Generator);
    wrongModel.place(2, sim::makeDevice("788x"), sim::Role::Free);
    rig.benches[2] = &wrongModel;

    TMainForm& form = rig.create();
    QVERIFY(rig.waitForStartup());
    QVERIFY(form.CalibratorFound);
    QCOMPARE(form.CalibratorPort, 3);
    QCOMPARE(rig.file("tpCom.cfg"), std::string("3    9600\r\n"));
    rig.form.reset();
}

void StartupTest::findsCalibratorOnPseudoTerminal() {
    const QString program = QCoreApplication::applicationDirPath() + "/yukt-bench";
    if (!QFile::exists(program)) QSKIP("yukt-bench is not built");
    QTemporaryDir ports;
    const QString link = ports.path() + "/com3";
    QProcess bench;
    bench.start(program, {link, "--module", "none"});
    QVERIFY(bench.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 10000);

    AppRig rig;
    // The real serial port code this time; COM1, 2 and 4 name nothing.
    SetComPortOpener(nullptr);
    for (int n = 1; n <= 4; ++n) {
        const QString path = n == 3 ? link : ports.path() + "/absent" + QString::number(n);
        qputenv(qPrintable("YUKT_COM" + QString::number(n)), path.toLocal8Bit());
    }
    TMainForm& form = rig.create();
    QVERIFY(rig.waitForStartup(60000));
    QVERIFY(rig.dialogs.calls.empty());
    QCOMPARE(form.CalibratorPort, 3);
    QVERIFY(form.HasMeter);
    QCOMPARE(rig.file("tp787x.cfg"), std::string("787x 1 3    23 1  4  6\r\n"));
    rig.form.reset();
    for (int n = 1; n <= 4; ++n) qunsetenv(qPrintable("YUKT_COM" + QString::number(n)));
    bench.terminate();
    QVERIFY(bench.waitForFinished(10000));
}

void StartupTest::asksWhenNoCalibratorAnswers_data() {
    QTest::addColumn<bool>("retryFirst");
    QTest::newRow("cancel") << false;
    QTest::newRow("ok, then cancel") << true;
}

void StartupTest::asksWhenNoCalibratorAnswers() {
    QFETCH(bool, retryFirst);
    AppRig rig;
    rig.benches.clear();
    if (retryFirst) rig.dialogs.answers = {DlgResult::Ok, DlgResult::Cancel};
    TMainForm& form = rig.create();
    form.show();
    const std::size_t expectedQuestions = retryFirst ? 2 : 1;
    QVERIFY(QTest::qWaitFor([&] { return form.Closed(); }, 30000));
    QCOMPARE(rig.dialogs.calls.size(), expectedQuestions);
    for (const DialogCall& c : rig.dialogs.calls) {
        QCOMPARE(c.text, QString(35, ' ') +
                             "КП \"Зирок-М\" не найден.\r\nПодключите КП \"Зирок-М\" к СОМ-порту "
                             "компьютера и нажмите кнопку ОК.");
        QCOMPARE(c.caption, QString("Внимание!"));
        QCOMPARE(c.icon, DlgIcon::Warning);
        QCOMPARE(c.buttons, DlgButtons::OkCancel);
    }
    QVERIFY(!form.isVisible());
    QVERIFY(!form.CalibratorFound);
    for (const char* name : {"tp6606.cfg", "tp787x.cfg", "tp788t.cfg", "tpCom.cfg"})
        QVERIFY(!rig.fileExists(name));
}

void StartupTest::restartArgumentsSkipTheSearch() {
    AppRig rig;
    TMainForm& form = rig.create({"ZirokReInit", "150", "90", "1", "2", "7374,5"});
    QVERIFY(!form.InitRunning());
    QCOMPARE(form.pos(), QPoint(150, 90));
    QCOMPARE(form.WizardStep, 1);
    QCOMPARE(form.LProc->text(), QString("Подключите модуль к разъему \"Шина обмена\"."));
    QVERIFY(form.CalibratorFound);
    QVERIFY(form.HasMeter);
    QCOMPARE(form.CalibratorPort, 2);
    QCOMPARE(form.QuartzKHz, 7374.5);
    QCOMPARE(form.NBMain->currentIndex(), 0);  // the end of start-up is a queued call
    QTRY_COMPARE(form.NBMain->currentIndex(), 1);
    QVERIFY(rig.dialogs.calls.empty());
    QVERIFY(!rig.fileExists("tp787x.cfg"));  // nothing searched, nothing written

    // Another first word: the window stays on the start page.
    AppRig other;
    TMainForm& idle = other.create({"Other", "1", "2", "3", "4", "5"});
    QTest::qWait(50);
    QVERIFY(!idle.InitRunning());
    QCOMPARE(idle.NBMain->currentIndex(), 0);
}

void StartupTest::restartPassesStateAndKeepsFiles() {
    AppRig rig;
    TMainForm& form = rig.create({"ZirokReInit", "40", "60", "0", "3", "7374,6075"}, true);
    QTRY_COMPARE(form.NBMain->currentIndex(), 1);
    rig.writeFile("tp787x.cfg", "787x 1 3    23 1  4  6\r\n");
    form.move(33, 44);
    form.WizardStep = 11;
    rig.next();

    QCOMPARE(rig.started.size(), std::size_t(1));
    QCOMPARE(rig.started[0].program, QString("/opt/poverka/poverka"));
    QCOMPARE(rig.started[0].args, QStringList({"ZirokReInit", "33", "44", "0", "3", "7374,6075",
                                               "--workdir=" + QString::fromStdString(rig.dir())}));
    QCOMPARE(rig.started[0].workDir, QString::fromStdString(rig.dir()));
    QVERIFY(!form.DeleteFilesOnClose);
    QVERIFY(form.Closed());
    QVERIFY(rig.fileExists("tp787x.cfg"));

    // When the new instance cannot be started this one stays.
    AppRig failing;
    failing.startSucceeds = false;
    TMainForm& stays = failing.create({"ZirokReInit", "0", "0", "1", "3", "7374"});
    QTRY_COMPARE(stays.NBMain->currentIndex(), 1);
    stays.WizardStep = 11;
    failing.next();
    QVERIFY(!stays.Closed());
    QCOMPARE(stays.WizardStep, 11);
    QCOMPARE(failing.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(failing.dialogs.calls[0].caption, QString("Ошибка!"));
}

void StartupTest::closingDeletesGeneratedFiles() {
    AppRig rig;
    TMainForm& form = rig.launch();
    QVERIFY(rig.fileExists("tp787x.cfg"));
    rig.writeFile("tp735t.cfg", "x\r\n");
    rig.writeFile("other.cfg", "kept\r\n");
    QVERIFY(form.close());
    QVERIFY(form.Closed());
    for (const char* name :
         {"tp6606.cfg", "tpCom.cfg", "tp745t.cfg", "tp787x.cfg", "tp788t.cfg", "tp735t.cfg"})
        QVERIFY2(!rig.fileExists(name), name);
    QVERIFY(rig.fileExists("other.cfg"));
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
