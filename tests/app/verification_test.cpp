// From the switch check to the end of the verification: the instrument
// opened on the generated files, the page and channel items per kind, the
// command queue and the routing of replies, "Закончить поверку" with the FLASH
// restored, closing while the worker runs, and the journal of a run that
// died with the FLASH changed.

#include <QSignalSpy>

#include "app/flash_journal.h"
#include "app/page_fields.h"
#include "app_rig.h"
#include "common/text.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "widgets/speed_button.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

void fill745t(sim::SimModule& m) {
    m.flash().setParam(2, 50.5);
    m.flash().setParam(5, 100.1);
}

QStringList items(QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
    return list;
}

}  // namespace

class VerificationTest : public QObject {
    Q_OBJECT

  private slots:
    void opensInstrumentAndPagePerKind_data();
    void opensInstrumentAndPagePerKind();
    void acceptsOnlyRepliesOfExpectedNumber();
    void showsReplyErrorInValueFields();
    void queueHandsCommandsOnOneByOne();
    void endOfVerificationRestoresFlash();
    void endOfVerificationRepeatsWhileModuleAbsent();
    void endOfVerificationReportsFailedRestore();
    void closingAsksWhileFlashChanged();
    void closingWhileWorkerRunsIsSafe();
    void nextStartOffersJournalRestore_data();
    void nextStartOffersJournalRestore();
};

void VerificationTest::opensInstrumentAndPagePerKind_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("poll");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("curItems");
    QTest::addColumn<QStringList>("freqItems");

    QTest::newRow("745t") << "745t"
                          << "" << 1 << "Get 745t 2"
                          << "2"
                          << QStringList{"Канал измерения тока", "Канал измерения сопротивления"}
                          << QStringList{};
    QTest::newRow("748x") << "748x"
                          << "" << 1 << "Get 748x 2"
                          << "2"
                          << QStringList{"1 канал измерения тока", "2 канал измерения тока",
                                         "3 канал измерения тока"}
                          << QStringList{};
    QStringList sixteen;
    for (int n = 1; n <= 16; ++n) sixteen << QString::number(n) + " канал измерения тока";
    QTest::newRow("748t") << "748t"
                          << "" << 1 << "Get 748t 2"
                          << "2" << sixteen << QStringList{};
    QTest::newRow("735t") << "735t"
                          << "" << 2 << "Get 735t 2"
                          << "2" << QStringList{}
                          << QStringList{"Частота 1 канала",    "Частота 2 канала",
                                         "Делитель 1 канала",   "Делитель 2 канала",
                                         "Трансляция 1 канала", "Трансляция 2 канала"};
    QTest::newRow("735x") << "735x"
                          << "" << 2 << "Get 735x 2"
                          << "2" << QStringList{}
                          << QStringList{"Частота", "Интервал времени", "Кол-во импульсов"};
    QTest::newRow("787x") << "787x"
                          << "" << 1 << "Get 745t 1"
                          << "1" << QStringList{} << QStringList{};
    QTest::newRow("745t+748x") << "745t"
                               << "748x" << 1 << "Get 745t 2"
                               << "2"
                               << QStringList{"1 канал измерения тока", "2 канал измерения тока",
                                              "3 канал измерения тока", "4 канал измерения тока",
                                              "Канал измерения сопротивления"}
                               << QStringList{};
}

void VerificationTest::opensInstrumentAndPagePerKind() {
    QFETCH(QString, model);
    QFETCH(QString, second);
    QFETCH(int, page);
    QFETCH(QString, poll);
    QFETCH(QString, expected);
    QFETCH(QStringList, curItems);
    QFETCH(QStringList, freqItems);

    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        sim::SimModule& m = rig.plug(model.toStdString(), 3);
        if (model == "745t") fill745t(m);
        if (model.startsWith("735")) m.flash().setParam(1, 7374);
        if (!second.isEmpty()) {
            auto s = sim::makeDevice(second.toStdString());
            s->flash().setAddress(7);
            rig.bench.plugSecond(std::move(s)).powerOn();
        }
    }
    runToVerification(rig);

    QVERIFY2(rig.dialogs.calls.empty(),
             qPrintable(rig.dialogs.calls.empty() ? "" : rig.dialogs.calls[0].text));
    QVERIFY(form.Instrument() != nullptr);
    QVERIFY(form.Instrument()->OpenPribor());
    QCOMPARE(form.Instrument()->MinTime(), 2000);
    QCOMPARE(form.Instrument()->PathCfg(), rig.dir());
    QVERIFY(form.Instrument()->Pauze());
    QCOMPARE(form.WizardStep, 3);
    QVERIFY(form.FlashChanged);
    QVERIFY(form.Polling);
    QVERIFY(form.PollTimer->isActive());
    QVERIFY(form.EndCheckBtn->isEnabled());
    QCOMPARE(form.NBWork->currentIndex(), page);
    QCOMPARE(QString::fromStdString(form.PollCommand), poll);
    QCOMPARE(QString::fromStdString(form.ExpectedNumber()), expected);
    QCOMPARE(items(form.cbChlMode), curItems);
    QCOMPARE(form.cbChlMode->currentIndex(), curItems.isEmpty() ? -1 : 0);
    QCOMPARE(items(form.cb735ChlMode), freqItems);
    QCOMPARE(form.cb735ChlMode->currentIndex(), freqItems.isEmpty() ? -1 : 0);
    QCOMPARE(form.Freq.RefFrequency, double(GeneratorFrequency(100.0f, float(form.QuartzKHz))));

    const QString designation = QString::fromStdString(form.ModuleDesignation);
    QCOMPARE(form.windowTitle(), "Поверка модуля - " + designation);
    const QString tail = "- " + designation.left(14) + " ";
    QCOMPARE(form.GrBox735Del->title(), " Делитель " + tail);
    QCOMPARE(form.GrBox745Imp->title(), " Измеритель резистивного сигнала " + tail);
    QCOMPARE(form.GrBox735Freq->title(), " Измеритель частотного сигнала " + tail);
    if (model == "787x") {
        QVERIFY(form.cbChlMode->isHidden());
        QVERIFY(form.lCurChl->isHidden());
        QCOMPARE(form.GrBoxGenCur->title(), "Генератор токового сигнала " + designation + " ");
        QCOMPARE(form.GrBox745Cur->title(), QString("Измеритель токового сигнала КП \"ЗИРОК-М\" "));
    } else {
        QCOMPARE(form.GrBox745Cur->title(), " Измеритель токового сигнала " + tail);
        QCOMPARE(form.GrBoxGenCur->title(), QString(" Генератор токового сигнала КП \"ЗИРОК-М\" "));
    }

    // The poll timer queues the page's command; its reply is accepted.
    QTRY_VERIFY_WITH_TIMEOUT(!form.LastReplyLine().empty(), 5000);
    QCOMPARE(QString::fromStdString(GetColumn(form.LastReplyLine(), 2)), expected);
}

void VerificationTest::acceptsOnlyRepliesOfExpectedNumber() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    runToVerification(rig);
    form.Polling = false;
    form.PollTimer->stop();
    QSignalSpy shown(&form, &TMainForm::replyShown);

    // "Get 745t 2" reports every 745t: the calibrator's meter (number 1) and
    // the module under test (number 2). Only number 5 is awaited: nothing.
    form.SetExpectedNumber("5");
    form.QueueCommand("Get 745t 2");
    QTRY_VERIFY(form.CommandQueue().empty());
    QTest::qWait(100);
    QCOMPARE(shown.count(), 0);
    QVERIFY(form.LastReplyLine().empty());
    QCOMPARE(form.ReplyFields(), QStringList{QString()});

    form.SetExpectedNumber("1");
    form.QueueCommand("Get 745t 2");
    QTRY_VERIFY(shown.count() > 0);
    QVERIFY(form.LastReplyLine().rfind("745t 1 ", 0) == 0);
    const QStringList fields = form.ReplyFields();
    QCOMPARE(fields.size(), 8);  // entry 0 and the seven words
    QCOMPARE(fields[0], QString());
    QCOMPARE(fields[1], QString("745t"));
    QCOMPARE(fields[2], QString("1"));
    for (int k = 3; k < fields.size(); ++k) {
        QVERIFY2(!fields[k].contains('.'), qPrintable(fields[k]));
        double v = 0;
        QVERIFY2(RuToFloat(fields[k], v), qPrintable(fields[k]));
    }
}

void VerificationTest::showsReplyErrorInValueFields() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    runToVerification(rig);
    form.Polling = false;
    form.PollTimer->stop();
    QTRY_VERIFY(form.CommandQueue().empty());
    {
        auto lk = rig.bench.lock();
        rig.bench.unplugUnderTest();
    }
    QSignalSpy shown(&form, &TMainForm::replyShown);
    form.QueueCommand("Get 745t 2");
    QTRY_VERIFY(shown.count() > 0);
    QCOMPARE(QString::fromStdString(form.LastReplyLine()), QString("745t 2 Err 5"));
    for (QLineEdit* e : {form.e745Cur, form.e745CurPar, form.eImp745, form.eTemp745, form.e735xTime,
                         form.e735Freq, form.e735Time})
        QCOMPARE(e->text(), QString("Err 5"));
    for (QLineEdit* e : {form.eErrorCur, form.eErrorPar, form.e735xErrorTime, form.eError735Freq,
                         form.eError735Time})
        QCOMPARE(e->text(), QString("     <><>"));
}

void VerificationTest::queueHandsCommandsOnOneByOne() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    // Before the instrument exists a command waits in the queue.
    form.QueueCommand("Set 787x 1 12 6");
    QCOMPARE(form.CommandQueue().size(), std::size_t(1));
    form.QueueCommand("");  // never consumed: not queued
    QCOMPARE(form.CommandQueue().size(), std::size_t(1));
    runToVerification(rig);
    form.Polling = false;
    form.PollTimer->stop();
    QTRY_VERIFY(form.CommandQueue().empty() || form.CommandQueue().front() != "Set 787x 1 12 6");

    // Three commands: the first goes to sSet, the others follow as each is
    // consumed; the generator ends up at the last set-point.
    form.QueueCommand("Set 787x 1 5 6");
    form.QueueCommand("Set 787x 1 7.5 6");
    form.QueueCommand("Set 787x 1 12.5 6");
    QTRY_VERIFY(form.CommandQueue().empty());
    QCOMPARE(form.Instrument()->sSet(), std::string());
    QSignalSpy shown(&form, &TMainForm::replyShown);
    form.SetExpectedNumber("1");
    form.QueueCommand("Get 787x 1");
    QTRY_VERIFY(shown.count() > 0);
    QCOMPARE(form.ReplyField(3), QString("12,50000"));
}

void VerificationTest::endOfVerificationRestoresFlash() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        sim::SimModule& m = rig.plug("735t", 9);
        m.flash().setParam(1, 7374);
        m.flash().setCoef(1, 1.0);  // not usable: replaced for the verification
        m.flash().setCoef(2, 3.5);
    }
    runToVerification(rig);
    QVERIFY(form.Instrument() != nullptr);
    {
        auto lk = rig.bench.lock();
        QCOMPARE(rig.bench.underTest()->flash().coef(1).value_or(0), 2.0);
    }
    QCOMPARE(rig.underTestAddress(), 6);

    form.EndCheckBtnClick();
    QVERIFY(form.Instrument() == nullptr);
    QVERIFY(!form.EndCheckBtn->isEnabled());
    QVERIFY(!form.PollTimer->isActive());
    QCOMPARE(form.windowTitle(), QString("Завершение поверки"));
    QCOMPARE(form.LProc->text(), QString("Установите переключатель выбора режима работы КП "
                                         "\"Зирок\" в положение \"Режим замены модуля\"."));
    QCOMPARE(form.NBWork->currentIndex(), 0);
    QCOMPARE(form.WizardStep, 10);

    setSwitch(rig, sim::ModeSwitch::Replacement);
    rig.next();
    QVERIFY2(rig.dialogs.calls.empty(),
             qPrintable(rig.dialogs.calls.empty() ? "" : rig.dialogs.calls[0].text));
    QCOMPARE(rig.underTestAddress(), 9);
    {
        auto lk = rig.bench.lock();
        const sim::Flash& f = rig.bench.underTest()->flash();
        QVERIFY(!f.coef(1).has_value() || *f.coef(1) == -0.5);  // "not set" again
        QCOMPARE(f.coef(2).value_or(0), 3.5);
    }
    QVERIFY(!form.FlashChanged);
    QCOMPARE(form.WizardStep, 11);
    QCOMPARE(form.LProc->text(), QString("Поверка модуля завершена.\r\nДля поверки следующего "
                                         "модуля нажмите на кнопку \"Далее\""));
    QVERIFY(!form.NextBtn->isHidden());
    QVERIFY(form.FindPrBar->isHidden());
    QVERIFY(form.CanClose);
    FlashJournal j;
    QVERIFY(!ReadFlashJournal(rig.dir(), j));
    // Closing now asks nothing.
    QVERIFY(form.close());
    QVERIFY(rig.dialogs.calls.empty());
}

void VerificationTest::endOfVerificationRepeatsWhileModuleAbsent() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    runToVerification(rig);
    form.EndCheckBtnClick();
    rig.next();  // the switch is still at "Режим поверки": nothing at address 0
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(rig.dialogs.calls[0].text,
             QString(32, ' ') +
                 "Модуль не найден?!\n\rПроверьте переключатель выбора режима "
                 "работы КП \"Зирок-М\".\n\rОн должен находиться в положении "
                 "\"Режим замены модуля\"!");
    QCOMPARE(rig.dialogs.calls[0].caption, QString("Внимание!"));
    QCOMPARE(form.WizardStep, 10);
    QVERIFY(form.FlashChanged);
    QCOMPARE(rig.underTestAddress(), 6);
    QVERIFY(form.CanClose);

    setSwitch(rig, sim::ModeSwitch::Replacement);
    rig.next();
    QCOMPARE(rig.underTestAddress(), 3);
    QVERIFY(!form.FlashChanged);
}

void VerificationTest::endOfVerificationReportsFailedRestore() {
    AppRig rig;
    TMainForm& form = rig.launch();
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    runToVerification(rig);
    form.EndCheckBtnClick();
    setSwitch(rig, sim::ModeSwitch::Replacement);
    // The module answers its identification, then nothing more: the written
    // address cannot be read back.
    rig.bench.injectFault(
        {sim::FaultKind::Silence, sim::kUnderTestBusAddress, 2, sim::kForever, 8});
    rig.next();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(rig.dialogs.calls[0].caption, QString("Ошибка!"));
    QVERIFY(rig.dialogs.calls[0].text.startsWith("Ошибка записи FLASH модуля!?"));
    QCOMPARE(form.WizardStep, 10);
    QVERIFY(form.FlashChanged);
    FlashJournal j;
    QVERIFY(ReadFlashJournal(rig.dir(), j));
    QVERIFY(!form.NextBtn->isHidden());
    QVERIFY(form.CanClose);

    rig.bench.clearFaults();
    rig.next();
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    QCOMPARE(rig.underTestAddress(), 3);
    QVERIFY(!form.FlashChanged);
    QVERIFY(!ReadFlashJournal(rig.dir(), j));
}

void VerificationTest::closingAsksWhileFlashChanged() {
    AppRig rig;
    TMainForm& form = rig.create();
    // While the start-up thread runs the window refuses silently.
    QVERIFY(!form.close());
    QVERIFY(rig.dialogs.calls.empty());
    QVERIFY(rig.waitForStartup());
    {
        auto lk = rig.bench.lock();
        fill745t(rig.plug("745t", 3));
    }
    rig.next();
    rig.next();
    QVERIFY(form.FlashChanged);

    QVERIFY(!form.close());  // answered No
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(1));
    const DialogCall& c = rig.dialogs.calls[0];
    QCOMPARE(c.text, QString("Адрес модуля был изменен!\n\rЗавершить работу программы?"));
    QCOMPARE(c.caption, QString("Внимание!"));
    QCOMPARE(c.icon, DlgIcon::Warning);
    QCOMPARE(c.buttons, DlgButtons::YesNo);
    QVERIFY(!form.Closed());
    QVERIFY(rig.fileExists("tp745t.cfg"));

    rig.dialogs.answers = {DlgResult::Yes};
    QVERIFY(form.close());
    QVERIFY(form.Closed());
    QVERIFY(!rig.fileExists("tp745t.cfg"));
    FlashJournal j;
    QVERIFY(ReadFlashJournal(rig.dir(), j));  // the restore is offered next time
}

void VerificationTest::closingWhileWorkerRunsIsSafe() {
    for (bool viaClose : {true, false}) {
        AppRig rig;
        TMainForm& form = rig.launch();
        {
            auto lk = rig.bench.lock();
            fill745t(rig.plug("745t", 6));
        }
        runToVerification(rig);
        QVERIFY(form.Instrument() != nullptr);
        // Replies keep arriving while the window goes.
        for (int i = 0; i < 5; ++i) form.QueueCommand("Get 745t 2");
        rig.dialogs.answers = {DlgResult::Yes};
        if (viaClose) {
            QVERIFY(form.close());
            QVERIFY(form.Instrument() == nullptr);
        }
        rig.form.reset();
        QTest::qWait(50);  // replies posted meanwhile find no window
    }
}

void VerificationTest::nextStartOffersJournalRestore_data() {
    QTest::addColumn<bool>("restore");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void VerificationTest::nextStartOffersJournalRestore() {
    QFETCH(bool, restore);
    AppRig rig;
    {
        TMainForm& form = rig.launch();
        {
            auto lk = rig.bench.lock();
            fill745t(rig.plug("745t", 3));
        }
        rig.next();
        rig.next();
        QCOMPARE(rig.underTestAddress(), 6);
        // The program dies here: nothing restores the FLASH.
        form.FlashChanged = false;
        rig.form.reset();
    }
    rig.dialogs.calls.clear();
    rig.dialogs.answers = {restore ? DlgResult::Yes : DlgResult::No};
    rig.launch();
    QVERIFY(!rig.dialogs.calls.empty());
    const DialogCall& q = rig.dialogs.calls[0];
    QCOMPARE(q.buttons, DlgButtons::YesNo);
    QVERIFY(q.text.contains("адрес модуля изменен с 3 на 6"));
    QCOMPARE(rig.underTestAddress(), restore ? 3 : 6);
    // "No" asks again before the journal goes; the second "No" keeps it.
    FlashJournal j;
    QCOMPARE(ReadFlashJournal(rig.dir(), j), !restore);
    if (restore) {
        QCOMPARE(rig.dialogs.calls.size(), std::size_t(2));
        QCOMPARE(rig.dialogs.calls[1].text, QString("FLASH модуля восстановлена."));
    }
}

QTEST_MAIN(VerificationTest)
#include "verification_test.moc"
