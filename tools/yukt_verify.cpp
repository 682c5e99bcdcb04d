// yukt-verify: runs one verification procedure against the bench.
//
//   yukt-verify --cfg DIR --procedure FILE [--serial TEXT] [--json]
//
// DIR is the configuration directory as the workstation writes it, with the
// module under test already in "Режим поверки". Prints one line per point
// and a verdict line; with --json one JSON object per line instead. SIGINT
// or SIGTERM stops the run: the generator goes to its safe value and the
// verdict is "прервано".
//
// Exit codes: 0 годен, 3 не годен, 4 прервано (also when the records
// database went away during the run: the record is spooled "прервано"), 1 a
// procedure or configuration error or a record kept nowhere, 2 wrong
// arguments, an instrument or a records database that cannot open.

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "common/program_version.h"
#include "instrument/cprbr.h"
#include "instrument/module_set.h"
#include "verify/bench_setup.h"
#include "verify/instrument_runner.h"
#include "verify/run_output.h"
#include "verify_recording.h"

namespace {

using namespace yukt;
using namespace yukt::verify;

struct Options {
    std::string cfg, procedure, serial;
    bool json = false;
    records::RecordOptions record;
};

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json")
            o.json = true;
        else if (a == "--cfg" && i + 1 < argc)
            o.cfg = argv[++i];
        else if (a == "--procedure" && i + 1 < argc)
            o.procedure = argv[++i];
        else if (a == "--serial" && i + 1 < argc)
            o.serial = argv[++i];
        else if (records::ParseRecordOption(i, argc, argv, o.record))
            continue;
        else
            return false;
    }
    return !o.cfg.empty() && !o.procedure.empty();
}

// Why the opened instrument cannot serve the run; empty when it can.
std::string openProblem(const TcPrbr& prbr) {
    if (!prbr.OpenPribor()) return "конфигурация линий в " + prbr.PathCfg() + " не годится";
    const ModuleSet& set = TheModuleSet();
    for (int i = 1; i <= 4; ++i) {
        const Ttp6606* link = set.Context().Links.Entry(i);
        if (link != nullptr && !link->IsOpen())
            return "линия " + std::to_string(i) + ": " +
                   (link->ErrorText.empty() ? "не открыта" : link->ErrorText);
    }
    if (!set.AnyReplyModule()) return "ни один модуль не отвечает прибору (Link 23)";
    return "";
}

int exitCode(RunVerdict v) {
    switch (v) {
        case RunVerdict::Fit:
            return 0;
        case RunVerdict::Unfit:
            return 3;
        default:
            return 4;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (yukt::PrintVersionIfAsked(argc, argv, "yukt-verify")) return 0;
    Options opt;
    if (!parseOptions(argc, argv, opt)) {
        std::cerr << "usage: yukt-verify --cfg DIR --procedure FILE [--serial TEXT] [--json]"
                  << records::kRecordUsage << '\n';
        return 2;
    }
    ProcedureError perr;
    std::optional<Procedure> procedure = LoadProcedure(opt.procedure, perr);
    if (!procedure) {
        std::cerr << "yukt-verify: " << perr.Text() << '\n';
        return 1;
    }
    std::string problem;
    std::optional<RunSetup> setup = SetupFromCfg(opt.cfg, problem);
    if (!setup) {
        std::cerr << "yukt-verify: " << problem << '\n';
        return 1;
    }
    if (!RouteFor(procedure->quantity, setup->kind, procedure->channel) ||
        std::find(procedure->kinds.begin(), procedure->kinds.end(), setup->kind) ==
            procedure->kinds.end()) {
        std::cerr << "yukt-verify: " << opt.procedure << ": процедура не относится к виду модуля "
                  << setup->kind << " в " << opt.cfg << '\n';
        return 1;
    }

    // Signals go to one waiting thread, which asks the run to stop; every
    // other thread (the instrument's too) inherits the blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto prbr = std::make_unique<TcPrbr>();
    prbr->SetMinTime(170);
    prbr->SetPathCfg(opt.cfg);
    prbr->SetOpenPribor(true);
    prbr->SetPauze(true);
    problem = openProblem(*prbr);
    if (!problem.empty()) {
        std::cerr << "yukt-verify: " << problem << '\n';
        return 2;
    }

    RunPrinter printer(std::cout, opt.json, opt.serial);
    std::unique_ptr<records::VerifyRecording> recording;
    if (opt.record.Wanted()) {
        recording = records::VerifyRecording::Start(opt.record, opt.serial, *procedure, *setup,
                                                    &printer, problem);
        if (!recording) {
            std::cerr << "yukt-verify: " << problem << '\n';
            return 2;
        }
    }
    int code = 4;
    {
        InstrumentRunner runner(*prbr);
        if (recording) recording->SetStop([&runner] { runner.RequestStop(); });
        std::thread stopper([&] {
            int sig = 0;
            sigwait(&signals, &sig);
            if (sig != SIGUSR1) runner.RequestStop();
        });
        VerificationRun run(*procedure, *setup,
                            recording ? recording->Sink() : static_cast<ProgressSink*>(&printer));
        printer.Header(*procedure);
        code = exitCode(runner.Run(run).verdict);
        pthread_kill(stopper.native_handle(), SIGUSR1);
        stopper.join();
    }
    prbr.reset();
    if (recording) {
        problem = recording->Finish();
        if (!problem.empty()) {
            std::cerr << "yukt-verify: запись о поверке: " << problem << '\n';
            return 1;
        }
        if (recording->Lost()) {
            std::cerr << "yukt-verify: " << recording->LostNotice() << '\n';
            code = 4;
        }
    }
    return code;
}
