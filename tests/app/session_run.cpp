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
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/session_rig.h"
#include "app/verification_session.h"
#include "common/program_version.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "instrument/under_test_ident.h"
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

}  // namespace

int main(int argc, char** argv) {
    if (PrintVersionIfAsked(argc, argv, "poverka-session")) return 0;
    QCoreApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), o))
        return fail("usage: poverka-session --cfg DIR --methodology FILE [--serial TEXT] [--idle S]");

    // The instrument outlives the rig, which detaches from it first.
    std::unique_ptr<TcPrbr> prbr;
    // The laboratory's methodology folder holds the one given.
    test::SessionRig rig;
    QFile given(o.methodology);
    if (!given.open(QIODevice::ReadOnly) ||
        !rig.AddMethodology(QFileInfo(o.methodology).fileName(), given.readAll()))
        return fail(o.methodology + ": не читается");

    std::string problem;
    const std::optional<verify::RunSetup> setup = verify::SetupFromCfg(o.cfg.toStdString(), problem);
    if (!setup) return fail(QString::fromStdString(problem));

    // The instrument as the window opens it.
    prbr = std::make_unique<TcPrbr>();
    prbr->SetMinTime(2000);
    rig.Attach(*prbr);
    prbr->SetPathCfg(o.cfg.toStdString());
    prbr->SetOpenPribor(true);
    prbr->SetPauze(true);
    if (!prbr->OpenPribor()) return fail("прибор не открыт");

    TVerificationSession* session = &rig.Session();
    test::WindowQueue& queue = rig.Queue();
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
    if (!rig.OpenRecord(o.serial, error)) return fail(error);

    // The page polls its module while the operator looks at it.
    const std::string pagePoll = "Get " + verify::ModelCodeOfKind(setup->kind) + " 2";
    QTimer pagePollTimer;
    pagePollTimer.setInterval(100);
    QObject::connect(&pagePollTimer, &QTimer::timeout, [&] {
        if (queue.Idle()) queue.Push(pagePoll, true);
    });
    pagePollTimer.start();
    test::WaitInLoop([] { return false; }, o.idle);
    pagePollTimer.stop();
    test::WaitInLoop([&] { return queue.Idle(); }, 30);

    // The run, printed as yukt-verify prints it.
    QObject::connect(session, &TVerificationSession::asked, [&](const verify::Question&) {
        QMetaObject::invokeMethod(
            &app, [&] { session->Answer(verify::Answer::Yes, QString()); }, Qt::QueuedConnection);
    });
    QObject::connect(session, &TVerificationSession::operationFinished,
                     [](const verify::PlanItem& item, const verify::Attempt& a) {
                         std::cout << verify::OperationJson(item, a) << std::endl;
                     });
    QObject::connect(session, &TVerificationSession::pointFinished,
                     [](const verify::PointResult& p, verify::Quantity) {
                         std::cout << verify::PointJson(p) << std::endl;
                     });
    std::optional<verify::RunResult> result;
    QObject::connect(session, &TVerificationSession::runFinished,
                     [&](const verify::RunResult& r) {
                         result = r;
                         std::cout << verify::VerdictJson(r, *plan) << std::endl;
                     });
    if (!session->StartPlanRun({})) return fail("прогон не начат");
    rig.WaitRunEnd(3600);

    // The record as the journal keeps it.
    QString warning;
    const std::optional<records::Record> r = rig.CloseAndLoad(&warning);
    if (!warning.isEmpty()) std::cerr << "poverka-session: " << warning.toStdString() << std::endl;
    if (!r) return fail("запись не прочитана из " + rig.JournalPath());
    auto quoted = [](const QString& s) {
        QString q = s;
        return "\"" + q.replace("\\", "\\\\").replace("\"", "\\\"").toStdString() + "\"";
    };
    std::cout << "{\"record\": " << quoted(r->verdict) << ", \"points\": " << r->points.size()
              << ", \"software\": " << quoted(r->softwareFound)
              << ", \"methodology\": " << quoted(r->methodologyId) << "}" << std::endl;

    rig.Detach();
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
