// The verification session without a display: what "В протокол" stores from
// the page's reading, and what it refuses, saying why; the module's plan run
// on the real instrument and a simulated bench, re-measured and stopped, and
// the record it makes.

#include "app/verification_session.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "app/auto_run.h"
#include "app/auto_run_window.h"
#include "app/operator_dialogs.h"
#include "app/session_rig.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "records/record_store.h"
#include "records/records_fixture.h"
#include "sim/bench.h"
#include "sim/device_table.h"
#include "sim/sim_module.h"
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
    void lineFaultsNeverJudgeTheModule_data();
    void lineFaultsNeverJudgeTheModule();
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

bool openRecord(TVerificationSession& s, const QTemporaryDir& dir) {
    QString error;
    records::RecordInfo info;
    info.serial = "S-1";
    return s.OpenStore(dir.filePath("r.sqlite"), error) && test::AddBenchReference(*s.Store()) &&
           s.BeginRecord(info, error);
}

// The shipped 748t methodology, two points and two readings a point, so
// that a whole run takes seconds.
QByteArray quick748t() {
    QFile f(QString::fromStdString(verify::ShippedMethodologyDir()) + "/748t.toml");
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll());
    text.replace("delay = 1.0", "delay = 0")
        .replace("agree = 3", "agree = 2")
        .replace("readings = 3", "readings = 2")
        .replace("points = [4, 8, 12, 16, 20]", "points = [4, 20]");
    return text.toUtf8();
}

// A 748t under test behind the real instrument on a simulated calibrator,
// the session driven as the window drives it (test::SessionRig). Manual
// operations are answered "соответствует".
class SessionBench {
  public:
    SessionBench() {
        rig.AddMethodology("748t.toml", quick748t());
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
        write("tp6606.cfg", ";Адрес Номер Резонатор Скорость\n");
        write("tpCom.cfg", ";COM Скорость\n 1    9600\n");
        write("tp787x.cfg", "787x 1 1 23 1  4  6\n");
        write("tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n");
        write("tp745t.cfg", "745t 1 1 23 4 91.85776 91.85776 2 2500.0\n");
        write("tp748t.cfg", "748t 2 1 23 6 99.849 99.849\n");
        prbr = std::make_unique<TcPrbr>();
        prbr->SetPathCfg(m_dir.path().toStdString() + "/");
        rig.Attach(*prbr);
        prbr->SetOpenPribor(true);
        QObject::connect(session, &TVerificationSession::asked, session,
                         [this](const verify::Question&) {
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

    ~SessionBench() {
        rig.Detach();
        prbr.reset();
        TheModuleSet().CloseModuleSet();
        SetComPortOpener(nullptr);
        SetWaitPumpHook(nullptr);
    }

    bool openRecord() {
        QString error;
        return rig.OpenRecord("S-748", error);
    }

    // Runs the items (empty: the whole plan) to their end and until the
    // instrument has taken the run's last commands.
    bool run(const std::vector<int>& items = {}) {
        return session->StartPlanRun(items) && rig.WaitRunEnd(60);
    }

    std::optional<records::Record> closeAndLoad() {
        QString warning;
        std::optional<records::Record> r = rig.CloseAndLoad(&warning);
        if (!warning.isEmpty()) qWarning() << warning;
        return r;
    }

    // The protocol of a record as its reader sees it, its lines joined.
    static QString protocolText(const records::Record& r) {
        return records::test::ProtocolPages(r, "session.pdf").join('\n').simplified();
    }

    void setChannelError(int channel, double ma) {
        auto lk = bench.lock();
        bench.physics().channelErrorMa[channel] = ma;
    }

    sim::Bench bench;
    std::unique_ptr<TcPrbr> prbr;
    test::SessionRig rig;  // detached before the instrument goes
    TVerificationSession* session = &rig.Session();

  private:
    void write(const QString& name, const QString& text) {
        QFile f(m_dir.filePath(name));
        if (f.open(QIODevice::WriteOnly)) f.write(text.toUtf8());
    }

    QTemporaryDir m_dir;
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
    QSignalSpy points(b.session, &TVerificationSession::pointFinished);
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
    connect(b.session, &TVerificationSession::pointFinished, b.session,
            [&](const verify::PointResult& p) {
                finished << p;
                // "Стоп" comes from the event loop, as the button's click does.
                if (finished.size() == 1)
                    QMetaObject::invokeMethod(b.session, &TVerificationSession::StopRun,
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
        QSignalSpy started(b.session, &TVerificationSession::runStarted);
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

// The result cells of the run window's rows, read through its model.
QStringList resultCells(const TAutoRunWindow& w) {
    QStringList cells;
    const QAbstractItemModel& m = *w.Points->model();
    for (int row = 0; row < m.rowCount(); ++row) cells << m.index(row, 6).data().toString();
    return cells;
}

// A fault of the bench: one the line puts on the replies of `address`
// (`times` of them), or its module pulled off the line or powered off.
void strike(SessionBench& b, const QString& fault, int address, int times) {
    if (fault == "pulled") {
        b.bench.remove(address);
        return;
    }
    if (fault == "power") {
        auto lk = b.bench.lock();
        b.bench.at(address)->setPower(false);
        return;
    }
    const QMap<QString, sim::FaultKind> kinds = {{"silence", sim::FaultKind::Silence},
                                                 {"badsum", sim::FaultKind::BadSum},
                                                 {"torn", sim::FaultKind::TornFrame},
                                                 {"disappear", sim::FaultKind::Disappear}};
    sim::Fault f;
    f.kind = kinds.value(fault);
    f.address = address;
    f.times = times;
    b.bench.injectFault(f);
}

}  // namespace

// Only the module's answers judge the module. A fault of the line when the
// instrument opened: the run does not begin, the run window says why in
// yukt-verify's words, and the record gets nothing from it. Mid-run (once
// the 4 mA point is measured on all 16 channels): a lost reply is asked for
// again; a line lost ends the run "прервано" with yukt-verify's reason, the
// points measured kept. At the end: a generator that does not confirm its
// safe value is reported with the value it was last given. The window, the
// record's reasons and its protocol say so; never "не годен".
void VerificationSessionTest::lineFaultsNeverJudgeTheModule_data() {
    QTest::addColumn<QString>("when");  // start, mid, end
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("banner");
    QTest::addColumn<QStringList>("notes");  // rows of the window; a run's, the record's too
    QTest::addColumn<QString>("verdict");    // the record's
    QTest::addColumn<int>("passed");         // of the record's points
    const int ever = sim::kForever;
    const QString module = "модуль под поверкой не отвечает по адресу 6 (COM1)";
    const QString generator = "генератор 787x не отвечает по адресу 1 (COM1)";
    const QString lost = "связь потеряна: ";
    const QString unsafe = "безопасное значение не подтверждено: генератор мог остаться на 20 мА";
    const QString interrupted = records::kInterrupted, suitable = records::kSuitable;
    QTest::newRow("module silent at start")
        << "start" << "silence" << 6 << ever << "НЕ НАЧАТА" << QStringList{module} << interrupted << 0;
    QTest::newRow("generator silent at start") << "start" << "silence" << 1 << ever << "НЕ НАЧАТА"
                                               << QStringList{generator} << interrupted << 0;
    QTest::newRow("one reply lost mid-run")
        << "mid" << "silence" << 6 << 1 << "ГОДЕН" << QStringList{} << suitable << 3 + 32;
    for (const char* fault : {"silence", "badsum", "torn", "disappear", "pulled", "power"})
        QTest::addRow("module %s mid-run", fault) << "mid" << fault << 6 << ever << "ПРЕРВАНО"
                                                  << QStringList{lost + module} << interrupted << 3 + 16;
    QTest::newRow("line dead mid-run") << "mid" << "silence" << int(sim::kAnyAddress) << ever
                                       << "ПРЕРВАНО" << QStringList{lost + generator, unsafe}
                                       << interrupted << 3 + 16;
    QTest::newRow("generator silent at the end")
        << "end" << "silence" << 1 << ever << "ГОДЕН" << QStringList{unsafe} << suitable << 3 + 32;
}

void VerificationSessionTest::lineFaultsNeverJudgeTheModule() {
    QFETCH(QString, when);
    QFETCH(QString, fault);
    QFETCH(int, address);
    QFETCH(int, times);
    QFETCH(QString, banner);
    QFETCH(QStringList, notes);
    QFETCH(QString, verdict);
    QFETCH(int, passed);
    SilentDialogs dialogs;
    SessionBench b;
    auto* autoRun = new TAutoRun(*b.session, dialogs, nullptr, {});
    QVERIFY(b.openRecord());
    if (when == "start") {
        b.prbr->SetOpenPribor(false);
        strike(b, fault, address, times);
        b.prbr->SetOpenPribor(true);
    }
    int points = 0;
    connect(b.session, &TVerificationSession::pointFinished, b.session, [&] {
        if (++points == 16 && when == "mid") strike(b, fault, address, times);
    });
    connect(b.session, &TVerificationSession::runFinished, b.session, [&] {
        if (when == "end") strike(b, fault, address, times);
    });
    QSignalSpy refused(b.session, &TVerificationSession::runRefused);
    QCOMPARE(b.session->StartPlanRun({}), when != "start");
    QVERIFY(b.rig.WaitRunEnd(60));
    QVERIFY(QTest::qWaitFor([&] { return !b.session->SafeWaiting(); }, 10000));

    const TAutoRunWindow& w = *autoRun->Window();
    QCOMPARE(w.Banner->text(), banner);
    QVERIFY2(!w.ModuleVerdict->text().contains("не годен"), qPrintable(w.ModuleVerdict->text()));
    const QStringList cells = resultCells(w);
    for (const QString& note : notes) QVERIFY2(cells.contains(note), qPrintable(cells.join('\n')));
    for (const QString& cell : cells) QVERIFY2(!cell.startsWith("не годн"), qPrintable(cell));
    if (when == "start") {
        QCOMPARE(refused.count(), 1);
        QCOMPARE(b.session->StartProblem(), notes.first());
        QCOMPARE(cells.size(), 1);
        QVERIFY(b.session->Attempts().empty());
    } else {
        const QStringList line = notes.filter("связь потеряна"), safe = notes.filter("безопасное");
        QCOMPARE(b.session->LineProblem(), line.value(0));
        QCOMPARE(b.session->SafeProblems(), safe);
        // The points under way when the line went say why they were not measured.
        if (!line.isEmpty())
            QVERIFY2(cells.contains("не измерена: " + line.first()), qPrintable(cells.join('\n')));
        // The generator left at its safe value, confirmed or reported.
        QCOMPARE(b.session->Generator().value, 0.0);
        if (safe.isEmpty()) {
            auto lk = b.bench.lock();
            QCOMPARE(b.bench.physics().generatorCurrentMa, 0.0);
        }
    }

    b.bench.clearFaults();
    const std::optional<records::Record> r = b.closeAndLoad();
    QVERIFY(r);
    QCOMPARE(r->verdict, verdict);
    QCOMPARE(int(std::count_if(r->points.begin(), r->points.end(),
                               [](const records::RecordPoint& p) { return p.result == "pass"; })),
             passed);
    if (when == "start") {
        QVERIFY(r->points.isEmpty());
        return;
    }
    // A lost line is the reason of the item it left not measured, as in
    // yukt-verify's record; an unconfirmed safe value a reason of its own.
    const QString protocol = b.protocolText(*r);
    for (const QString& note : notes) {
        QVERIFY2(r->reasons.join('\n').contains(note), qPrintable(r->reasons.join('\n')));
        QVERIFY2(protocol.contains(note), qPrintable(protocol));
    }
}

// The protocol is drawn with fonts, which need the GUI application.
QTEST_MAIN(VerificationSessionTest)
#include "verification_session_test.moc"
