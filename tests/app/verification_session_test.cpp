// The verification session without a display: what "В протокол" stores from
// the page's reading, and what it refuses, saying why; the module's plan run
// on the real instrument and a simulated bench, re-measured and stopped, and
// the record it makes.

#include "app/verification_session.h"

#include <QLabel>
#include <QTableWidget>

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>

#include "app/auto_run.h"
#include "app/auto_run_window.h"
#include "app/operator_dialogs.h"
#include "common/text_file.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "records/lab_references.h"
#include "records/protocol_pdf.h"
#include "records/record_store.h"
#include "sim/bench.h"
#include "sim/device_table.h"
#include "verify/methodology.h"
#include "verify/procedure_library.h"

using namespace yukt;
using verify::Quantity;

class VerificationSessionTest : public QObject {
    Q_OBJECT

  private slots:
    void storesOnlyAReadingOfTheCurrentOutput_data();
    void storesOnlyAReadingOfTheCurrentOutput();
    void droppedSessionInterruptsItsRecord();
    void recordKeepsTheIdentificationGiven_data();
    void recordKeepsTheIdentificationGiven();
    void wholePlanRunMakesASignableRecord();
    void remeasureClearsAFailedChannel();
    void stopLeavesTheRestNotMeasuredInTheirUnit();
    void procedureRunsAsItsMethodologyOnlyOnItsModule();
    void runDoesNotBeginWithoutTheBench_data();
    void runDoesNotBeginWithoutTheBench();
    void unconfirmedSafeValueIsShownAndRecorded();
};

namespace {

struct Step {
    enum { Set, Read, Idle } what;
    double value;
};

PageReading readingAt(double reference, double measured) {
    PageReading r;
    r.quantity = Quantity::Current;
    r.nominal = r.reference = reference;
    r.measured = measured;
    r.shownRange = 20;
    return r;
}

// The register has a reference valid today for whatever a plan measures.
void addReference(TVerificationSession& s) {
    QString error;
    records::LabReference reference;
    reference.kind = records::kMietaKind;
    reference.number = "3.1.A.1";
    reference.name = "Калибратор";
    reference.serial = "1";
    reference.certificate = "С-1";
    reference.validUntil = QDate::currentDate().addYears(1);
    reference.quantities = {"current", "generator_current", "frequency", "period", "interval",
                            "count", "divider", "translator"};
    records::AddReference(*s.Store(), reference, &error);
}

bool openRecord(TVerificationSession& s, const QTemporaryDir& dir) {
    QString error;
    records::RecordInfo info;
    info.serial = "S-1";
    if (!s.OpenStore(dir.filePath("r.sqlite"), error)) return false;
    addReference(s);
    return s.BeginRecord(info, error);
}

// The shipped 748t methodology, two points and two readings a point, so
// that a whole run takes seconds.
QString quick748t() {
    QFile f(QString::fromStdString(verify::ShippedMethodologyDir()) + "/748t.toml");
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll());
    text.replace("delay = 1.0", "delay = 0")
        .replace("agree = 3", "agree = 2")
        .replace("readings = 3", "readings = 2")
        .replace("points = [4, 8, 12, 16, 20]", "points = [4, 20]");
    return text;
}

// A 748t under test behind the real instrument on a simulated calibrator;
// the session's commands go to the instrument one at a time, as the
// window's queue hands them on, and its replies come back in the test's
// thread. Manual operations are answered "соответствует".
class SessionBench : public QObject {
  public:
    SessionBench() {
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        const QString methodologies = m_home.path() + "/poverka/methodologies";
        QDir().mkpath(methodologies);
        write(methodologies + "/748t.toml", quick748t());
        const std::string dir = m_dir.path().toStdString() + "/";
        SetWaitPumpHook([](int) {});
        SetComPortOpener([this](int com, int, std::string& error) {
            std::unique_ptr<ByteTransport> port;
            if (com == 1)
                port = bench.connect();
            else
                error = "нет порта";
            return port;
        });
        bench.installCalibrator(true);
        bench.place(6, sim::makeDevice("748t"), sim::Role::UnderTest);
        write(m_dir.filePath("tp6606.cfg"), ";Адрес Номер Резонатор Скорость\n");
        write(m_dir.filePath("tpCom.cfg"), ";COM Скорость\n 1    9600\n");
        write(m_dir.filePath("tp787x.cfg"), "787x 1 1 23 1  4  6\n");
        write(m_dir.filePath("tp788t.cfg"), "788t 1 1 23 2 7374.6075308 100 20 2\n");
        write(m_dir.filePath("tp745t.cfg"), "745t 1 1 23 4 91.85776 91.85776 2 2500.0\n");
        write(m_dir.filePath("tp748t.cfg"), "748t 2 1 23 6 99.849 99.849\n");
        prbr = std::make_unique<TcPrbr>();
        prbr->SetPathCfg(dir);
        prbr->SetOpenPribor(true);
        prbr->SetOnGet([this](TcPrbr& sender) {
            const QString line = QString::fromStdString(sender.sGet());
            QMetaObject::invokeMethod(this, [this, line] { session->Reply(line); },
                                      Qt::QueuedConnection);
        });
        prbr->SetOnSet([this](TcPrbr&) {
            QMetaObject::invokeMethod(this, [this] { m_taken = true, next(); },
                                      Qt::QueuedConnection);
        });
        SessionHooks hooks;
        hooks.queueCommand = [this](const std::string& c) {
            m_queue.push_back(c);
            ++m_queued;
            next();
        };
        hooks.commandsQueued = [this] { return m_queued; };
        session = std::make_unique<TVerificationSession>(hooks);
        connect(session.get(), &TVerificationSession::asked, this, [this](const verify::Question&) {
            session->Answer(verify::Answer::Yes, QString());
        });
        SessionModule module;
        module.kind = module.firstKind = kKind748t;
        module.model = "748t";
        module.designation = "ЮКТ - 748T.01A v10";
        module.ident = "48T01A10";
        module.quartzKHz = 7374.6075308;
        session->SetModule(module);
    }

    ~SessionBench() override {
        session.reset();
        prbr->SetOnGet(nullptr);
        prbr->SetOnSet(nullptr);
        prbr.reset();
        TheModuleSet().CloseModuleSet();
        SetComPortOpener(nullptr);
        SetWaitPumpHook(nullptr);
    }

    bool openRecord() {
        QString error;
        records::RecordInfo info;
        info.serial = "S-748";
        if (!session->OpenStore(m_dir.filePath("r.sqlite"), error)) return false;
        addReference(*session);
        return session->BeginRecord(info, error);
    }

    // Runs the items (empty: the whole plan) to their end and until the
    // instrument has taken the run's last commands.
    bool run(const std::vector<int>& items = {}) {
        return session->StartPlanRun(items) &&
               QTest::qWaitFor([this] { return !session->Running() && m_queue.empty() && m_taken; },
                               60000);
    }

    std::optional<records::Record> closeAndLoad() {
        const qint64 id = session->RecordId();
        QString warning;
        session->CloseRecord(warning);
        if (!warning.isEmpty()) qWarning() << warning;
        records::RecordStore store;
        if (!store.Open(m_dir.filePath("r.sqlite"))) return std::nullopt;
        return store.Load(id);
    }

    // The protocol of a record as its reader sees it.
    QString protocolText(const records::Record& r) {
        const QString pdf = m_dir.filePath("p.pdf");
        QString error;
        if (!records::WriteProtocolPdf(r, pdf, &error)) return error;
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        text.waitForFinished(30000);
        return QString::fromUtf8(text.readAllStandardOutput());
    }

    void setChannelError(int channel, double ma) {
        auto lk = bench.lock();
        bench.physics().channelErrorMa[channel] = ma;
    }

    sim::Bench bench;
    std::unique_ptr<TcPrbr> prbr;
    std::unique_ptr<TVerificationSession> session;

  private:
    static void write(const QString& path, const QString& text) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(text.toUtf8());
    }

    void next() {
        if (!m_taken || m_queue.empty()) return;
        m_taken = false;
        prbr->SetsSet(m_queue.front());
        m_queue.pop_front();
    }

    QTemporaryDir m_home, m_dir;
    std::deque<std::string> m_queue;
    std::uint64_t m_queued = 0;
    bool m_taken = true;
};

std::vector<int> itemsOfChannel(const verify::Plan& plan, int channel) {
    std::vector<int> items;
    for (const verify::PlanItem& it : plan.items)
        if (it.channel == channel) items.push_back(it.item);
    return items;
}

}  // namespace

void VerificationSessionTest::storesOnlyAReadingOfTheCurrentOutput_data() {
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QString>("why");  // empty: stored
    using L = QList<int>;
    using V = QList<double>;
    QTest::newRow("no reading") << L{Step::Set} << V{12} << "Нет измеренного значения.";
    QTest::newRow("never set") << L{Step::Read} << V{12} << "генератор не выдает";
    QTest::newRow("set since") << L{Step::Set, Step::Read, Step::Set} << V{12, 12.0123456, 0}
                               << "при эталоне 12 мА, а генератор выдает 0 мА";
    QTest::newRow("left idle") << L{Step::Set, Step::Read, Step::Idle} << V{12, 12, 0}
                               << "генератор не выдает";
    QTest::newRow("stored") << L{Step::Set, Step::Read} << V{12, 12.0123456} << "";
}

void VerificationSessionTest::storesOnlyAReadingOfTheCurrentOutput() {
    QFETCH(QList<int>, kinds);
    QFETCH(QList<double>, values);
    QFETCH(QString, why);
    QTemporaryDir dir;
    TVerificationSession session(SessionHooks{});
    QVERIFY(openRecord(session, dir));
    double reference = 0;
    for (int i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == Step::Read)
            session.SetReading(readingAt(reference, values[i]));
        else
            session.SetGenerator(Quantity::Current, reference = values[i], kinds[i] == Step::Set);
    }
    QString refused;
    records::RecordPoint point;
    const bool stored = session.StoreReading(refused, &point);
    QCOMPARE(stored, why.isEmpty());
    QVERIFY2(refused.contains(why), qPrintable(refused));
    if (!stored) return;
    // The value the page computed, not the three decimals its field shows.
    QCOMPARE(point.measured, 12.0123456);
    QCOMPARE(point.reference, 12.0);
    QCOMPARE(point.seq, 1);
}

void VerificationSessionTest::droppedSessionInterruptsItsRecord() {
    QTemporaryDir dir;
    qint64 id = 0;
    {
        TVerificationSession session(SessionHooks{});
        QVERIFY(openRecord(session, dir));
        id = session.RecordId();
    }
    records::RecordStore store;
    QVERIFY(store.Open(dir.filePath("r.sqlite")));
    QCOMPARE(store.Load(id)->verdict, records::kInterrupted);
}

// Wherever the record begins, it holds what the module said it is: both
// modules of a composite, nothing when none was read.
void VerificationSessionTest::recordKeepsTheIdentificationGiven_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("found");
    QTest::newRow("748t") << int(kKind748t) << "48T01A10" << "" << "ЮКТ - 748T.01A v10 (48T01A10)";
    QTest::newRow("composite") << int(kKind745t748x) << "45T01A10" << "48X01A11"
                               << "(45T01A10, 48X01A11)";
    QTest::newRow("not read") << int(kKind748t) << "?" << "" << "";
}

void VerificationSessionTest::recordKeepsTheIdentificationGiven() {
    QFETCH(int, kind);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, found);
    QTemporaryDir dir;
    TVerificationSession session(SessionHooks{});
    SessionModule module;
    module.kind = module.firstKind = kind;
    module.model = QString::fromStdString(verify::ModelCodeOfKind(kind));
    module.ident = first;
    module.identSecond = second;
    session.SetModule(module);
    QVERIFY(openRecord(session, dir));
    const qint64 id = session.RecordId();
    QString warning;
    session.CloseRecord(warning);
    records::RecordStore store;
    QVERIFY(store.Open(dir.filePath("r.sqlite")));
    const QString kept = store.Load(id)->softwareFound;
    QVERIFY2(found.isEmpty() ? kept.isEmpty() : kept.startsWith("ЮКТ") && kept.endsWith(found),
             qPrintable(kept));
}

// The whole plan on the bench: every item attempted once, the record
// "годен" with the identification on its protocol beside "соответствует".
void VerificationSessionTest::wholePlanRunMakesASignableRecord() {
    SessionBench b;
    QVERIFY(b.openRecord());
    const verify::Plan* plan = b.session->ThePlan();
    QVERIFY2(plan, qPrintable(b.session->PlanProblem()));
    QSignalSpy points(b.session.get(), &TVerificationSession::pointFinished);
    QVERIFY(b.run());
    QCOMPARE(b.session->PlanVerdict().verdict, verify::RunVerdict::Fit);
    QCOMPARE(points.count(), 16 * 2);
    for (const verify::PlanItem& it : plan->items)
        QCOMPARE(b.session->StateOf(it.item), ItemState::Pass);
    // The generator was left at the methodology's safe value.
    QCOMPARE(b.session->Generator().value, 0.0);
    const std::optional<records::Record> r = b.closeAndLoad();
    QVERIFY(r);
    QCOMPARE(r->verdict, records::kSuitable);
    QCOMPARE(r->points.size(), 3 + 16 * 2);
    QCOMPARE(r->softwareFound, QStringLiteral("ЮКТ - 748T.01A v10 (48T01A10)"));
    const QString protocol = b.protocolText(*r);
    QVERIFY2(protocol.contains(QStringLiteral("ЮКТ - 748T.01A v10 (48T01A10)")),
             qPrintable(protocol));
    QVERIFY2(!protocol.contains(QStringLiteral("не получена")), qPrintable(protocol));
}

// A failed channel measured again after it was mended: the later attempts
// count, the earlier stay in the record, and the module is "годен".
void VerificationSessionTest::remeasureClearsAFailedChannel() {
    SessionBench b;
    QVERIFY(b.openRecord());
    b.setChannelError(11, 0.1);  // 0,5 % of 20 mA
    QVERIFY(b.run());
    const verify::VerdictResult first = b.session->PlanVerdict();
    QCOMPARE(first.verdict, verify::RunVerdict::Unfit);
    QCOMPARE(first.failed, 2);
    const std::vector<int> channel11 = itemsOfChannel(*b.session->ThePlan(), 11);
    for (int item : channel11) QCOMPARE(b.session->StateOf(item), ItemState::Fail);
    b.setChannelError(11, 0);
    QVERIFY(b.run(channel11));
    QCOMPARE(b.session->PlanVerdict().verdict, verify::RunVerdict::Fit);
    const std::optional<records::Record> r = b.closeAndLoad();
    QVERIFY(r);
    QCOMPARE(r->verdict, records::kSuitable);
    QCOMPARE(r->points.size(), 3 + 16 * 2 + 2);
    int second = 0;
    for (const records::RecordPoint& p : r->points)
        if (p.attempt == 2) {
            QVERIFY(std::count(channel11.begin(), channel11.end(), p.item) == 1);
            QCOMPARE(p.result, QStringLiteral("pass"));
            ++second;
        }
    QCOMPARE(second, 2);
}

// Stopped at its first point, the run lists every point it never reached
// with the limit in the unit its error has (0,2 %, not 0,04 mA); the record
// is "прервано".
void VerificationSessionTest::stopLeavesTheRestNotMeasuredInTheirUnit() {
    SessionBench b;
    QVERIFY(b.openRecord());
    QList<verify::PointResult> finished;
    connect(b.session.get(), &TVerificationSession::pointFinished, b.session.get(),
            [&](const verify::PointResult& p) {
                finished << p;
                // "Стоп" comes from the event loop, as the button's click does.
                if (finished.size() == 1)
                    QMetaObject::invokeMethod(b.session.get(), &TVerificationSession::StopRun,
                                              Qt::QueuedConnection);
            });
    QVERIFY(b.run());
    QCOMPARE(finished.size(), 16 * 2);
    int notReached = 0;
    for (const verify::PointResult& p : finished) {
        QCOMPARE(p.errorKind, verify::ErrorKind::Reduced);
        QCOMPARE(p.limit, 0.2);
        notReached += p.reason == "остановлено";
    }
    // The 20 mA point of every channel was never set.
    QCOMPARE(notReached, 16);
    QCOMPARE(b.session->PlanVerdict().verdict, verify::RunVerdict::Interrupted);
    QCOMPARE(b.session->Generator().value, 0.0);
    const std::optional<records::Record> r = b.closeAndLoad();
    QVERIFY(r);
    QCOMPARE(r->verdict, records::kInterrupted);
}

// A per-channel procedure has no run of its own: read as a methodology, it
// runs on the plan path for its module and is refused, with the reason,
// for another, before anything goes to the bench.
void VerificationSessionTest::procedureRunsAsItsMethodologyOnlyOnItsModule() {
    const std::string text =
        "title = \"748t\"\ndoc = \"МП\"\nkinds = [KIND]\nchannel = CH\nquantity = \"current\"\n"
        "points = [4]\n[error]\nkind = \"abs\"\nlimit = 0.05\n"
        "[settling]\ndelay = 0\nagree = 2\nband = 0.005\ntimeout = 10\nreadings = 2\n";
    for (const int kind : {kKind748t, kKind745t}) {
        std::string file = text;
        file.replace(file.find("KIND"), 4, std::to_string(kind));
        file.replace(file.find("CH"), 2, kind == kKind748t ? "1" : "0");
        verify::ProcedureError e;
        const std::optional<verify::Methodology> m = verify::ParseMethodology(file, "p.toml", e);
        QVERIFY2(m, e.Text().c_str());
        SessionBench b;  // a 748t under test, its bench answering
        QSignalSpy started(b.session.get(), &TVerificationSession::runStarted);
        QString error;
        const bool ran = b.session->StartRun(*m, &error);
        QCOMPARE(ran, kind == kKind748t);
        QCOMPARE(started.size(), ran ? 1 : 0);
        if (!ran) {
            QVERIFY2(error.contains("не относится к модулю 748t"), qPrintable(error));
            continue;
        }
        QCOMPARE(started[0][0].toString(), QStringLiteral("748t (МП)"));
        QVERIFY(b.session->Running());
        b.session->StopRun();
        QVERIFY(!b.session->Running());
        // Its attempts stay out of the module's plan.
        QVERIFY(b.session->Attempts().empty());
    }
}

namespace {

// The run window's messages are seen, never answered.
class SilentDialogs : public OperatorDialogs {
  public:
    DlgResult MessageBox(const QString&, const QString&, DlgIcon, DlgButtons) override {
        return DlgResult::Ok;
    }
    void ShowMessage(const QString&) override {}
};

// The result cell of the run window's last row.
QString lastResult(const TAutoRunWindow& w) {
    const int row = w.Points->rowCount() - 1;
    return row >= 0 && w.Points->item(row, 6) ? w.Points->item(row, 6)->text() : QString();
}

}  // namespace

// A module under test or a generator that did not answer when the
// instrument opened: the run does not begin, the run window says why in the
// words of yukt-verify, and the record gets nothing from it, never "не годен".
void VerificationSessionTest::runDoesNotBeginWithoutTheBench_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("why");
    QTest::newRow("module") << 6 << "модуль под поверкой не отвечает по адресу 6 (COM1)";
    QTest::newRow("generator") << 1 << "генератор 787x не отвечает по адресу 1 (COM1)";
}

void VerificationSessionTest::runDoesNotBeginWithoutTheBench() {
    QFETCH(int, address);
    QFETCH(QString, why);
    SilentDialogs dialogs;
    SessionBench b;
    auto* autoRun = new TAutoRun(*b.session, dialogs, nullptr, {});
    QVERIFY(b.openRecord());
    b.prbr->SetOpenPribor(false);
    sim::Fault f;
    f.kind = sim::FaultKind::Silence;
    f.address = address;
    f.times = sim::kForever;
    b.bench.injectFault(f);
    b.prbr->SetOpenPribor(true);
    QSignalSpy refused(b.session.get(), &TVerificationSession::runRefused);
    QVERIFY(!b.session->StartPlanRun({}));
    QVERIFY(!b.session->Running());
    QCOMPARE(b.session->StartProblem(), why);
    QCOMPARE(refused.count(), 1);
    QVERIFY(b.session->Attempts().empty());
    const TAutoRunWindow& w = *autoRun->Window();
    QCOMPARE(w.Points->rowCount(), 1);
    QCOMPARE(lastResult(w), why);
    QCOMPARE(w.Banner->text(), QStringLiteral("НЕ НАЧАТА"));
    b.bench.clearFaults();
    const std::optional<records::Record> r = b.closeAndLoad();
    QVERIFY(r);
    QVERIFY(r->points.isEmpty());
    QVERIFY2(r->verdict != records::kUnsuitable, qPrintable(r->verdict));
}

// The generator falls silent as the run ends: its safe value is not
// confirmed, and the run window, the record's reasons and its protocol say
// so with the value it was last given.
void VerificationSessionTest::unconfirmedSafeValueIsShownAndRecorded() {
    SilentDialogs dialogs;
    SessionBench b;
    auto* autoRun = new TAutoRun(*b.session, dialogs, nullptr, {});
    QVERIFY(b.openRecord());
    connect(b.session.get(), &TVerificationSession::runFinished, b.session.get(), [&b] {
        sim::Fault f;
        f.kind = sim::FaultKind::Silence;
        f.address = sim::kGeneratorAddress;
        f.times = sim::kForever;
        b.bench.injectFault(f);
    });
    QSignalSpy unconfirmed(b.session.get(), &TVerificationSession::safeNotConfirmed);
    QVERIFY(b.run());
    QVERIFY(unconfirmed.count() > 0 || unconfirmed.wait(10000));
    const QString said =
        QStringLiteral("безопасное значение не подтверждено: генератор мог остаться на 20 мА");
    QCOMPARE(unconfirmed.first().first().toString(), said);
    QCOMPARE(b.session->SafeProblems(), QStringList{said});
    QCOMPARE(lastResult(*autoRun->Window()), said);
    b.bench.clearFaults();
    const std::optional<records::Record> r = b.closeAndLoad();
    QVERIFY(r);
    QVERIFY2(r->reasons.contains(said), qPrintable(r->reasons.join("; ")));
    const QString protocol = b.protocolText(*r).simplified();
    QVERIFY2(protocol.contains(QStringLiteral("безопасное значение не подтверждено")),
             qPrintable(protocol));
}

// The protocol is drawn with fonts, which need the GUI application.
QTEST_MAIN(VerificationSessionTest)
#include "verification_session_test.moc"
