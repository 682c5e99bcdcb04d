// The serial port behind the calibrator is held only while something works
// on it: the direct-access jobs release it when they end, "Закончить поверку"
// releases the instrument's. A port that is gone at the end of the
// verification is then reported as such.

#include <QDir>
#include <QFileInfo>
#include <atomic>
#include <thread>

#include "app_rig.h"
#include "sim/pty_line.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

// Descriptors of this process open on the device.
int openOn(const std::string& device) {
    int n = 0;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
        if (fd.symLinkTarget().toStdString() == device) ++n;
    return n;
}

// The bench served on a pseudo-terminal that COM3 names.
class BenchOnPty {
  public:
    BenchOnPty(sim::Bench& bench, const QString& link) {
        std::string error;
        m_line = sim::PtyLine::open(link.toStdString(), error);
        if (m_line == nullptr) return;
        m_device = m_line->ptyName();
        m_thread = std::thread([this, &bench] { m_line->serve(bench, false, m_stop); });
    }
    ~BenchOnPty() { pull(); }
    bool ok() const { return !m_device.empty(); }
    const std::string& device() const { return m_device; }
    // As a USB-serial adapter pulled out: the device and its name go.
    void pull() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        m_line.reset();
    }

  private:
    std::unique_ptr<sim::PtyLine> m_line;
    std::string m_device;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace

class PortReleaseTest : public QObject {
    Q_OBJECT

  private slots:
    void portIsReleasedAndItsLossReported();
    void lineLostDuringPageIsReportedOncePerLoss();
};

void PortReleaseTest::portIsReleasedAndItsLossReported() {
    QTemporaryDir ports;
    AppRig rig;
    BenchOnPty line(rig.bench, ports.path() + "/com3");
    QVERIFY(line.ok());
    SetComPortOpener(nullptr);
    for (int n = 1; n <= 4; ++n) {
        const QString path =
            ports.path() + (n == 3 ? QStringLiteral("/com3") : "/absent" + QString::number(n));
        qputenv(qPrintable("YUKT_COM" + QString::number(n)), path.toLocal8Bit());
    }
    const int own = openOn(line.device());  // the bench's side keeps one

    TMainForm& form = rig.create();
    QVERIFY(rig.waitForStartup(60000));
    QVERIFY(rig.dialogs.calls.empty());
    QCOMPARE(openOn(line.device()), own);
    {
        auto lk = rig.bench.lock();
        rig.plug("745t", 3);
    }
    rig.next();
    rig.next();
    QCOMPARE(rig.underTestAddress(), 6);
    QCOMPARE(openOn(line.device()), own);  // detection's channel is closed
    setSwitch(rig, sim::ModeSwitch::Verification);
    rig.next();
    QVERIFY(form.Instrument() != nullptr);
    QVERIFY(openOn(line.device()) > own);

    form.EndCheckBtnClick();
    QCOMPARE(openOn(line.device()), own);

    line.pull();
    setSwitch(rig, sim::ModeSwitch::Replacement);
    rig.next();
    QVERIFY(!rig.dialogs.calls.empty());
    QVERIFY2(rig.dialogs.calls[0].text.startsWith("Канал не открыт!?"),
             qPrintable(rig.dialogs.calls[0].text));
    QCOMPARE(rig.dialogs.calls[0].caption, QString("Ошибка!"));
    // The window closes unless the operator keeps it (the FLASH is still
    // changed); kept, "Далее" tries again.
    QCOMPARE(rig.dialogs.calls.size(), std::size_t(2));
    QCOMPARE(rig.dialogs.calls[1].buttons, DlgButtons::YesNo);
    QVERIFY(!form.Closed());
    QVERIFY(!form.NextBtn->isHidden());
    QCOMPARE(form.WizardStep, 10);

    rig.form.reset();
    for (int n = 1; n <= 4; ++n) qunsetenv(qPrintable("YUKT_COM" + QString::number(n)));
}

// The adapter pulled while a page polls: one box per loss with the reason,
// none while the line stays away or once it is back.
void PortReleaseTest::lineLostDuringPageIsReportedOncePerLoss() {
    QTemporaryDir ports;
    const QString path = ports.path() + "/com3";
    AppRig rig;
    auto line = std::make_unique<BenchOnPty>(rig.bench, path);
    QVERIFY(line->ok());
    // The real serial ports, with the tries on COM 3 counted.
    std::atomic<int> com3Opens{0};
    SetComPortOpener([&com3Opens](int com, int baud, std::string& error) {
        if (com == 3) ++com3Opens;
        return OpenSerialDevice(ComDevicePath(com), baud, error);
    });
    for (int n = 1; n <= 4; ++n)
        qputenv(qPrintable("YUKT_COM" + QString::number(n)),
                (n == 3 ? path : ports.path() + "/absent").toLocal8Bit());

    TMainForm& form = rig.create();
    QVERIFY(rig.waitForStartup(60000));
    {
        auto lk = rig.bench.lock();
        rig.plug("745t", 3);
    }
    rig.next();
    rig.next();
    setSwitch(rig, sim::ModeSwitch::Verification);
    rig.next();
    QVERIFY(form.Instrument() != nullptr);
    QVERIFY(rig.dialogs.calls.empty());

    const auto lossBoxes = [&] {
        std::size_t n = 0;
        for (const DialogCall& c : rig.dialogs.calls)
            if (c.text.startsWith("Канал не открыт!?\n\rCOM 3 (") &&
                c.text.endsWith("): линия потеряна") && c.caption == "Ошибка!" &&
                c.icon == DlgIcon::Error)
                ++n;
        return n;
    };
    for (std::size_t loss = 1; loss <= 2; ++loss) {
        line->pull();
        QTRY_COMPARE_WITH_TIMEOUT(lossBoxes(), loss, 15000);
        const int tried = com3Opens;
        QTRY_VERIFY_WITH_TIMEOUT(com3Opens >= tried + 2, 15000);  // two reopen attempts fail
        QCOMPARE(rig.dialogs.calls.size(), loss);
        line = std::make_unique<BenchOnPty>(rig.bench, path);
        QVERIFY(line->ok());
        // Back when the instrument's replies are good again.
        QString last;
        const auto conn =
            QObject::connect(&form, &TMainForm::rawReply, [&](const QString& l) { last = l; });
        form.QueueCommand("Get 745t 2");
        QTRY_VERIFY_WITH_TIMEOUT(!last.isEmpty() && !last.contains("Err"), 15000);
        QObject::disconnect(conn);
    }

    rig.form.reset();
    SetComPortOpener(nullptr);
    line.reset();
    for (int n = 1; n <= 4; ++n) qunsetenv(qPrintable("YUKT_COM" + QString::number(n)));
}

QTEST_MAIN(PortReleaseTest)
#include "port_release_test.moc"
