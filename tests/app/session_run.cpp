// The workstation's verification without its window: the widget-free
// session driven as the window drives it, on the instrument the window
// opens (its command queue handing one command at a time to the worker,
// replies coming back in the event loop, the page polling the module while
// the operator is away), on the line YUKT_COM1 names. It prints the lines
// yukt-verify prints with --json, then the record the session closed, so
// that a recorded session of the workstation replays as a test
// (tests/traces/).
//   poverka-session --cfg DIR --methodology FILE [--serial TEXT] [--idle SECONDS]
// Every question is answered "соответствует". Exit codes as yukt-verify's:
// 0 годен, 3 не годен, 4 прервано, 2 a run that could not begin.

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QFileInfo>
#include <deque>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/verification_session.h"
#include "common/program_version.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "instrument/under_test_ident.h"
#include "records/lab_references.h"
#include "records/record_store.h"
#include "verify/bench_setup.h"
#include "verify/point_table.h"
#include "verify/run_output.h"

using namespace yukt;

namespace {

struct Options {
    QString cfg, methodology, serial = "0";
    double idle = 0.5;  // seconds the page polls before the run
};

bool parse(const QStringList& args, Options& o) {
    for (int i = 1; i < args.size(); ++i) {
        if (i + 1 >= args.size()) return false;
        const QString& a = args[i];
        const QString v = args[++i];
        if (a == "--cfg")
            o.cfg = v;
        else if (a == "--methodology")
            o.methodology = v;
        else if (a == "--serial")
            o.serial = v;
        else if (a == "--idle")
            o.idle = v.toDouble();
        else
            return false;
    }
    return !o.cfg.isEmpty() && !o.methodology.isEmpty();
}

int fail(const QString& why) {
    std::cerr << "poverka-session: " << why.toStdString() << std::endl;
    return 2;
}

// The window's command queue: the head is the instrument's sSet; the next
// goes when the instrument has taken it. A page poll is a free request.
class CommandQueue {
  public:
    explicit CommandQueue(TcPrbr& prbr) : m_prbr(prbr) {}
    void push(const std::string& command, bool freeRequest) {
        m_queue.push_back({command, freeRequest});
        ++m_queued;
        next();
    }
    // The instrument took the head (in the event loop).
    void taken() {
        m_busy = false;
        next();
    }
    bool idle() const { return !m_busy && m_queue.empty(); }
    std::uint64_t queued() const { return m_queued; }

  private:
    void next() {
        if (m_busy || m_queue.empty()) return;
        m_busy = true;
        m_prbr.SetsSet(m_queue.front().first, m_queue.front().second);
        m_queue.pop_front();
    }
    TcPrbr& m_prbr;
    std::deque<std::pair<std::string, bool>> m_queue;
    std::uint64_t m_queued = 0;
    bool m_busy = false;
};

// The register has one reference valid today for whatever a plan measures.
bool addReference(records::RecordStore& store, QString& error) {
    records::LabReference r;
    r.kind = records::kMietaKind;
    r.number = "3.1.A.1";
    r.name = "Калибратор";
    r.serial = "1";
    r.certificate = "С-1";
    r.validUntil = QDate::currentDate().addYears(1);
    r.quantities = {"current", "generator_current", "frequency", "period", "interval",
                    "count", "divider", "translator"};
    return records::AddReference(store, r, &error);
}

// Waits in the event loop until `done` or `seconds` pass.
bool waitFor(const std::function<bool()>& done, double seconds) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (PrintVersionIfAsked(argc, argv, "poverka-session")) return 0;
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), o))
        return fail("usage: poverka-session --cfg DIR --methodology FILE [--serial TEXT] [--idle S]");

    // The laboratory's methodology folder holds the one given.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    const QString folder = home.path() + "/poverka/methodologies";
    QDir().mkpath(folder);
    if (!QFile::copy(o.methodology, folder + "/" + QFileInfo(o.methodology).fileName()))
        return fail(o.methodology + ": не читается");

    std::string problem;
    const std::optional<verify::RunSetup> setup = verify::SetupFromCfg(o.cfg.toStdString(), problem);
    if (!setup) return fail(QString::fromStdString(problem));

    // The instrument as the window opens it.
    auto prbr = std::make_unique<TcPrbr>();
    CommandQueue queue(*prbr);
    std::unique_ptr<TVerificationSession> session;
    prbr->SetMinTime(2000);
    prbr->SetOnGet([&](TcPrbr& sender) {
        const QString line = QString::fromStdString(sender.sGet()).trimmed();
        QMetaObject::invokeMethod(&app, [&, line] { session->Reply(line); }, Qt::QueuedConnection);
    });
    prbr->SetOnSet([&](TcPrbr&) {
        QMetaObject::invokeMethod(&app, [&] { queue.taken(); }, Qt::QueuedConnection);
    });
    prbr->SetPathCfg(o.cfg.toStdString());
    prbr->SetOpenPribor(true);
    prbr->SetPauze(true);
    if (!prbr->OpenPribor()) return fail("прибор не открыт");

    SessionHooks hooks;
    hooks.queueCommand = [&](const std::string& c) { queue.push(c, false); };
    hooks.commandsQueued = [&] { return queue.queued(); };
    session = std::make_unique<TVerificationSession>(hooks);
    SessionModule module;
    module.kind = module.firstKind = setup->kind;
    module.model = QString::fromStdString(verify::ModelCodeOfKind(setup->kind));
    module.ident = QString::fromStdString(UnderTestIdent(TheModuleSet(), 2));
    module.identSecond = QString::fromStdString(UnderTestIdent(TheModuleSet(), 3));
    module.designation = QString::fromStdString(
        IdentifyModule(module.ident.toStdString(),
                       module.identSecond.isEmpty() ? "?" : module.identSecond.toStdString())
            .ModuleDesignation);
    module.quartzKHz = setup->quartzKHz;
    session->SetModule(module);
    const verify::Plan* plan = session->ThePlan();
    if (plan == nullptr) return fail(session->PlanProblem());

    // The record, in a journal of its own.
    QString error;
    if (!session->OpenStore(home.path() + "/records.sqlite", error) ||
        !addReference(*session->Store(), error))
        return fail(error);
    records::RecordInfo info;
    info.serial = o.serial;
    if (!session->BeginRecord(info, error)) return fail(error);

    // The page polls its module while the operator looks at it.
    const std::string pagePoll = "Get " + verify::ModelCodeOfKind(setup->kind) + " 2";
    QTimer pagePollTimer;
    pagePollTimer.setInterval(100);
    QObject::connect(&pagePollTimer, &QTimer::timeout, [&] {
        if (queue.idle()) queue.push(pagePoll, true);
    });
    pagePollTimer.start();
    waitFor([] { return false; }, o.idle);
    pagePollTimer.stop();
    waitFor([&] { return queue.idle(); }, 30);

    // The run, printed as yukt-verify prints it.
    QObject::connect(session.get(), &TVerificationSession::asked, [&](const verify::Question&) {
        QMetaObject::invokeMethod(
            &app, [&] { session->Answer(verify::Answer::Yes, QString()); }, Qt::QueuedConnection);
    });
    QObject::connect(session.get(), &TVerificationSession::operationFinished,
                     [](const verify::PlanItem& item, const verify::Attempt& a) {
                         std::cout << verify::OperationJson(item, a) << std::endl;
                     });
    QObject::connect(session.get(), &TVerificationSession::pointFinished,
                     [](const verify::PointResult& p, verify::Quantity) {
                         std::cout << verify::PointJson(p) << std::endl;
                     });
    std::optional<verify::RunResult> result;
    QObject::connect(session.get(), &TVerificationSession::runFinished,
                     [&](const verify::RunResult& r) {
                         result = r;
                         std::cout << verify::VerdictJson(r, *plan) << std::endl;
                     });
    if (!session->StartPlanRun({})) return fail("прогон не начат");
    waitFor([&] { return !session->Running() && queue.idle(); }, 3600);

    // The record as the journal keeps it.
    const qint64 id = session->RecordId();
    QString warning;
    session->CloseRecord(warning);
    if (!warning.isEmpty()) std::cerr << "poverka-session: " << warning.toStdString() << std::endl;
    const std::optional<records::Record> r = session->Store()->Load(id);
    if (!r) return fail(session->Store()->LastError());
    auto quoted = [](const QString& s) {
        QString q = s;
        return "\"" + q.replace("\\", "\\\\").replace("\"", "\\\"").toStdString() + "\"";
    };
    std::cout << "{\"record\": " << quoted(r->verdict) << ", \"points\": " << r->points.size()
              << ", \"software\": " << quoted(r->softwareFound)
              << ", \"methodology\": " << quoted(r->methodologyId) << "}" << std::endl;

    session.reset();
    prbr.reset();
    if (!result) return 4;
    switch (result->verdict) {
        case verify::RunVerdict::Fit:
            return 0;
        case verify::RunVerdict::Unfit:
            return 3;
        default:
            return 4;
    }
}
