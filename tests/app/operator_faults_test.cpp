// What an operator walk-through found: the FLASH journal restored into another
// module or lost while the module kept the verification address, a second copy
// of the workstation in the same directory, English standard buttons, a double
// click on "Далее", and a question after a fatal message that left no way on.

#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QSysInfo>

#include "app/flash_journal.h"
#include "app/qt_translation.h"
#include "app/single_copy.h"
#include "app_rig.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

void fill745t(sim::SimModule& m) {
    m.flash().setParam(2, 50.5);
    m.flash().setParam(5, 100.1);
}

// A 745t with address 3 prepared for the verification by a run that then
// died: the module keeps address 6, the journal stays behind.
void dieMidVerification(AppRig& rig) {
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    rig.next();
    rig.next();
    QCOMPARE(rig.underTestAddress(), 6);
    form.FlashChanged = false;  // nothing asks: the process is gone
    rig.form.reset();
    rig.dialogs.calls.clear();
}

}  // namespace

class OperatorFaultsTest : public QObject {
    Q_OBJECT

  private slots:
    void journalIsRestoredOnlyIntoItsModule();
    void detectionAtTemporaryAddressKeepsOriginal();
    void journalIsDiscardedOnlyOnSecondConfirmation();
    void secondCopyFindsDirectoryTaken();
    void staleLockIsTakenOver();
    void standardButtonsAreRussian();
    void clickQueuedDuringStepIsIgnored();
    void missingFileQuestionLeavesWayOn();
};

void OperatorFaultsTest::journalIsRestoredOnlyIntoItsModule() {
    AppRig rig;
    dieMidVerification(rig);
    {
        auto lk = rig.bench.lock();
        rig.bench.unplugUnderTest();
        rig.plug("787x", 5);
    }
    rig.dialogs.answers = {DlgResult::Yes};
    rig.launch();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(2));
    const QString& text = rig.dialogs.calls[1].text;
    FlashJournal j;
    QVERIFY(ReadFlashJournal(rig.dir(), j));  // kept for its own module
    QVERIFY2(text.contains(QString::fromStdString(j.Designation)) && text.contains("787"),
             qPrintable(text));
    QCOMPARE(rig.underTestAddress(), 5);

    // Detection of the other module leaves the journal alone as well.
    rig.next();
    rig.next();
    QCOMPARE(rig.underTestAddress(), 5);
    QCOMPARE(rig.form->WizardStep, 1);
    FlashJournal after;
    QVERIFY(ReadFlashJournal(rig.dir(), after));
    QCOMPARE(after.SavedAddress, 3);
}

void OperatorFaultsTest::detectionAtTemporaryAddressKeepsOriginal() {
    AppRig rig;
    dieMidVerification(rig);
    // The restore is tried with the switch still at "Режим поверки".
    setSwitch(rig, sim::ModeSwitch::Verification);
    rig.dialogs.answers = {DlgResult::Yes};
    TMainForm& form = rig.launch();
    QVERIFY(rig.dialogs.calls[1].text.contains("Модуль не найден?!"));
    FlashJournal j;
    QVERIFY(ReadFlashJournal(rig.dir(), j));

    setSwitch(rig, sim::ModeSwitch::Replacement);
    rig.dialogs.calls.clear();
    runToVerification(rig);
    QVERIFY(form.Instrument() != nullptr);
    QCOMPARE(form.SavedAddress, 3);
    form.EndCheckBtnClick();
    setSwitch(rig, sim::ModeSwitch::Replacement);
    rig.next();
    QVERIFY(rig.dialogs.calls.empty());
    QCOMPARE(rig.underTestAddress(), 3);
    QVERIFY(!ReadFlashJournal(rig.dir(), j));
}

void OperatorFaultsTest::journalIsDiscardedOnlyOnSecondConfirmation() {
    AppRig rig;
    dieMidVerification(rig);
    rig.dialogs.answers = {DlgResult::No, DlgResult::No};
    rig.launch();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(2));
    const DialogCall& second = rig.dialogs.calls[1];
    QCOMPARE(second.buttons, DlgButtons::YesNo);
    QVERIFY2(second.text.contains("адрес модуля изменен с 3 на 6"), qPrintable(second.text));
    FlashJournal j;
    QVERIFY(ReadFlashJournal(rig.dir(), j));

    rig.form.reset();
    rig.dialogs.calls.clear();
    rig.dialogs.answers = {DlgResult::No, DlgResult::Yes};
    rig.launch();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(2));
    QVERIFY(!ReadFlashJournal(rig.dir(), j));
    QCOMPARE(rig.underTestAddress(), 6);
}

void OperatorFaultsTest::secondCopyFindsDirectoryTaken() {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/";
    QString busy;
    auto first = LockWorkDir(path, busy);
    QVERIFY(first != nullptr);
    QVERIFY(busy.isEmpty());
    auto second = LockWorkDir(path, busy);
    QVERIFY(second == nullptr);
    QVERIFY2(busy.contains(QString::number(QCoreApplication::applicationPid())) &&
                 busy.contains(dir.path()) && busy.contains(QSysInfo::machineHostName()),
             qPrintable(busy));
    // Still taken long after the copy started.
    first.reset();
    QVERIFY(LockWorkDir(path, busy) != nullptr);
}

void OperatorFaultsTest::staleLockIsTakenOver() {
    QTemporaryDir dir;
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    QVERIFY(gone.waitForStarted());
    const qint64 pid = gone.processId();
    QVERIFY(gone.waitForFinished());
    QFile lock(dir.path() + "/" + kWorkDirLockName);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(pid) + "\npoverka\n" + QSysInfo::machineHostName().toUtf8() +
               "\n");
    lock.close();
    QString busy;
    QVERIFY2(LockWorkDir(dir.path().toStdString() + "/", busy) != nullptr, qPrintable(busy));
}

void OperatorFaultsTest::standardButtonsAreRussian() {
    QVERIFY(LoadQtRussian(*QCoreApplication::instance()));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok |
                           QMessageBox::Cancel);
    const std::pair<QMessageBox::StandardButton, QString> expected[] = {
        {QMessageBox::Yes, "Да"},
        {QMessageBox::No, "Нет"},
        {QMessageBox::Ok, "ОК"},
        {QMessageBox::Cancel, "Отмена"}};
    for (const auto& [button, text] : expected)
        QCOMPARE(box.button(button)->text().remove(QLatin1Char('&')), text);
}

void OperatorFaultsTest::clickQueuedDuringStepIsIgnored() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.NextBtn, Qt::LeftButton);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    // The second click of a double click arrives when detection is over and
    // the button is back.
    QTest::mouseClick(form.NextBtn, Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!form.NextBtn->isHidden());
    QTest::mouseClick(form.NextBtn, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(form.WizardStep, 2);
    QVERIFY(rig.dialogs.calls.empty());
    // A deliberate press later runs step 2 (here: the switch is not turned).
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QTest::mouseClick(form.NextBtn, Qt::LeftButton);
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QVERIFY(rig.dialogs.calls[0].text.startsWith("Произошла ошибка инициализации"));
}

void OperatorFaultsTest::missingFileQuestionLeavesWayOn() {
    AppRig rig;
    TMainForm& form = rig.launch();
    QFile::remove(QString::fromStdString(rig.dir() + "tp745t.cfg"));
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    form.show();
    rig.next();
    rig.next();  // address 6 written, then the file is missing; "No" to closing
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(2));
    QVERIFY(rig.dialogs.calls[0].text.startsWith("Не найден файл tp745t.cfg!?"));
    QCOMPARE(rig.dialogs.calls[1].buttons, DlgButtons::YesNo);
    QVERIFY(!form.Closed());
    QVERIFY(!form.NextBtn->isHidden());
    QVERIFY(form.FindPrBar->isHidden());
    // "Далее" detects again: the module is still the one the journal is for.
    rig.writeFile("tp745t.cfg", "745t 1 3    23 4  99.87    100.02    1 2500\r\n");
    rig.next();
    QCOMPARE(form.SavedAddress, 3);
    QVERIFY(rig.file("tp745t.cfg").find("745t 2") != std::string::npos);
}

QTEST_MAIN(OperatorFaultsTest)
#include "operator_faults_test.moc"
