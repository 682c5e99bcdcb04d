// The module loses its power in the middle of the FLASH work (after each
// single write of the preparation, then of the restore); the workstation is
// started again, and its journal must bring the module back to its original
// address and coefficients.

#include "app/flash_journal.h"
#include "app_rig.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

constexpr int kOriginalAddress = 3;
constexpr double kCoef2 = 3.5;
const QStringList kRestartArgs = {"ZirokReInit", "0", "0", "1", "3", "7374"};

// A 735t whose first divider coefficient is not set: the preparation writes
// it and the address, the restore writes both back.
sim::SimModule& plug735t(AppRig& rig) {
    auto lk = rig.bench.lock();
    sim::SimModule& m = rig.plug("735t", kOriginalAddress);
    m.flash().setParam(1, 7374);
    m.flash().setCoef(1, -0.5);
    m.flash().setCoef(2, kCoef2);
    return m;
}

void cutAfter(AppRig& rig, int writes) {
    auto lk = rig.bench.lock();
    rig.bench.underTest()->cutPowerAfterWrites(writes);
}

bool powered(AppRig& rig) {
    auto lk = rig.bench.lock();
    return rig.bench.underTest()->powered();
}

// The program is gone; the module gets its power back; the next start
// restores it from the journal.
void restartAndRestore(AppRig& rig) {
    rig.form->FlashChanged = false;  // a dead program asks nothing
    rig.form.reset();
    {
        auto lk = rig.bench.lock();
        rig.bench.underTest()->cutPowerAfterWrites(0);
        rig.bench.underTest()->setPower(true);
    }
    rig.dialogs.calls.clear();
    rig.dialogs.answers = {DlgResult::Yes};
    rig.create(kRestartArgs);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

QString original(AppRig& rig) {
    auto lk = rig.bench.lock();
    const sim::Flash& f = rig.bench.underTest()->flash();
    const double coef1 = f.coef(1).value_or(-1);
    QString bad;
    if (f.address() != kOriginalAddress)
        bad += " address " + QString::number(f.address().value_or(-1));
    if (coef1 != -0.5 && f.coef(1).has_value()) bad += " coef1 " + QString::number(coef1);
    if (f.coef(2) != kCoef2) bad += " coef2 " + QString::number(f.coef(2).value_or(-1));
    return bad;
}

}  // namespace

class PowerLossTest : public QObject {
    Q_OBJECT

  private slots:
    void journalRecoversEveryCut_data();
    void journalRecoversEveryCut();
};

void PowerLossTest::journalRecoversEveryCut_data() {
    QTest::addColumn<bool>("inRestore");
    QTest::newRow("preparation") << false;
    QTest::newRow("restore") << true;
}

// For N = 1, 2, ... the power goes as the N-th FLASH write of the phase is
// stored, until a run of the phase ends with the power still on.
void PowerLossTest::journalRecoversEveryCut() {
    QFETCH(bool, inRestore);
    int cuts = 0;
    for (int writes = 1; writes < 100; ++writes) {
        AppRig rig;
        rig.launch();
        plug735t(rig);
        if (inRestore) {
            runToVerification(rig);
            QVERIFY(rig.form->Instrument() != nullptr);
            rig.form->EndCheckBtnClick();
            setSwitch(rig, sim::ModeSwitch::Replacement);
            cutAfter(rig, writes);
            rig.next();  // the end of the verification
        } else {
            rig.next();
            cutAfter(rig, writes);
            rig.next();  // detection
        }
        if (powered(rig)) break;  // the phase has fewer writes
        ++cuts;
        QVERIFY(!rig.dialogs.calls.empty());
        QVERIFY2(rig.dialogs.calls[0].text.startsWith("Ошибка записи FLASH модуля!?"),
                 qPrintable(rig.dialogs.calls[0].text));
        FlashJournal j;
        QVERIFY(ReadFlashJournal(rig.dir(), j));

        restartAndRestore(rig);
        QVERIFY(!rig.dialogs.calls.empty());
        QVERIFY2(
            rig.dialogs.calls.back().text == QString("FLASH модуля восстановлена."),
            qPrintable(
                QString("cut at write %1: %2").arg(writes).arg(rig.dialogs.calls.back().text)));
        QVERIFY2(original(rig).isEmpty(),
                 qPrintable(QString("cut at write %1:%2").arg(writes).arg(original(rig))));
        QVERIFY(!ReadFlashJournal(rig.dir(), j));
    }
    // Three address cells and twelve coefficient bytes at the least.
    QVERIFY2(cuts >= 15, qPrintable(QString::number(cuts)));
}

QTEST_MAIN(PowerLossTest)
#include "power_loss_test.moc"
