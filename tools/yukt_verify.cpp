// yukt-verify: verifies the module on the bench by a methodology.
//
//   yukt-verify --cfg DIR (--methodology FILE | --procedure FILE)
//               [--channels LIST] [--confirm all | --confirm ID=yes |
//               --confirm ID=no[:remark] ...] [--ident TEXT[,TEXT]]
//               [--serial TEXT] [--json]
//
// DIR is the configuration directory as the workstation writes it, with the
// module under test already in "Режим поверки". Runs the whole plan of the
// module (or, with --channels, its error points on those channels only,
// which never gives "годен"). Manual operations and per-channel connection
// prompts take their answers from --confirm, else from the terminal when
// stdin is one, else they are not done. The software check takes the
// identification the module gave when the instrument opened; --ident, kept
// for older scripts, must agree with it and is used only when the module
// gave none. Prints one line per
// operation and point and a verdict line; with --json one JSON object per
// line instead. SIGINT, SIGTERM, SIGHUP (the terminal closed) or SIGQUIT
// stops the run, a question on the terminal included: the generator goes to
// its safe value, and a value it did not confirm is named on stderr and
// among the reasons of the --db record. A
// module, generator or meter that does not answer when the instrument opens
// keeps the run from beginning (exit 2); a line lost during the run ends it
// "прервано" with the reason; neither is ever a verdict on the module.
//
// Exit codes: 0 годен, 3 не годен, 4 прервано (also when the records
// database went away during the run: the record is spooled "прервано"), 1 a
// methodology or configuration error or a record kept nowhere, 2 wrong
// arguments, an instrument or a records database that cannot open.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "common/fatal.h"
#include "common/program_version.h"
#include "common/text_file.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "instrument/under_test_ident.h"
#include "link/tp6606.h"
#include "verify/bench_check.h"
#include "verify/bench_setup.h"
#include "verify/instrument_runner.h"
#include "verify/line_policy.h"
#include "verify/safe_check.h"
#include "verify/run_output.h"
#include "verify/software_ident.h"
#include "verify_answers.h"
#include "verify_recording.h"

namespace {

using namespace yukt;
using namespace yukt::verify;

struct Options {
    std::string cfg, methodology, serial, identFirst, identSecond;
    bool channelsGiven = false;
    std::vector<int> channels;
    Confirmations confirm;
    bool json = false;
    records::RecordOptions record;
};

const char* const kUsage =
    "usage: yukt-verify --cfg DIR (--methodology FILE | --procedure FILE) [--channels LIST]\n"
    "       [--confirm all | --confirm ID=yes | --confirm ID=no[:REMARK] ...]\n"
    "       [--ident TEXT[,TEXT]] [--serial TEXT] [--json]";

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--json")
            o.json = true;
        else if (a == "--cfg" && value)
            o.cfg = argv[++i];
        else if ((a == "--methodology" || a == "--procedure") && value && o.methodology.empty())
            o.methodology = argv[++i];
        else if (a == "--serial" && value)
            o.serial = argv[++i];
        else if (a == "--channels" && value) {
            o.channelsGiven = true;
            o.channels = ParseChannelList(argv[++i]);
            if (o.channels.empty()) return false;
        } else if (a == "--confirm" && value) {
            if (!ParseConfirm(argv[++i], o.confirm)) return false;
        } else if (a == "--ident" && value) {
            const std::string t = argv[++i];
            const std::size_t comma = t.find(',');
            o.identFirst = t.substr(0, comma);
            if (comma != std::string::npos) o.identSecond = t.substr(comma + 1);
        } else if (records::ParseRecordOption(i, argc, argv, o.record))
            continue;
        else
            return false;
    }
    return !o.cfg.empty() && !o.methodology.empty();
}

// Why the opened instrument cannot serve the run; empty when it can.
std::string openProblem(const TcPrbr& prbr) {
    if (!prbr.OpenPribor())
        return "конфигурация линий в " + EchoToken(prbr.PathCfg(), 4096) + " не годится";
    const ModuleSet& set = TheModuleSet();
    for (int i = 1; i <= 4; ++i) {
        const Ttp6606* link = set.Context().Links.Entry(i);
        if (link != nullptr && !link->IsOpen())
            return "линия " + std::to_string(i) + ": " +
                   (link->ErrorText.empty() ? "не открыта" : link->ErrorMessage());
    }
    if (!set.AnyReplyModule()) return "ни один модуль не отвечает прибору (Link 23)";
    return "";
}

// The identification texts for the software check: the module's own, read
// by its driver when the instrument opened (numbers 2 and 3 on the bench).
std::string takeIdent(RunSetup& setup, const Options& opt) {
    const bool composite = setup.kind == kKind745t745t || setup.kind == kKind745t748x ||
                           setup.kind == kKind748x748x;
    const std::string first = UnderTestIdent(TheModuleSet(), 2);
    const std::string second = composite ? UnderTestIdent(TheModuleSet(), 3) : std::string();
    const bool given = !opt.identFirst.empty() || !opt.identSecond.empty();
    if (first.empty()) {
        setup.identFirst = opt.identFirst;
        setup.identSecond = opt.identSecond;
        return "";
    }
    if (given && (opt.identFirst != first || opt.identSecond != second))
        return "--ident " + opt.identFirst + (opt.identSecond.empty() ? "" : "," + opt.identSecond) +
               " не совпадает с идентификацией модуля " + first +
               (second.empty() ? "" : "," + second);
    setup.identFirst = first;
    setup.identSecond = second;
    return "";
}

// Signals go to one waiting thread, which asks the run to stop; SIGUSR1
// tells that thread the run is over.
sigset_t blockStopSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGQUIT);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

// A stop asked for before the run began.
bool stopPending() {
    sigset_t pending;
    sigpending(&pending);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        if (sigismember(&pending, sig) == 1) return true;
    return false;
}

int stopped() {
    std::cerr << "yukt-verify: прервано до начала поверки\n";
    return 4;
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

// What the program has once the instrument is open, and what became of it.
struct Opened {
    const Options& opt;
    const Methodology& methodology;
    InstrumentRunner& runner;
    const sigset_t& signals;
    std::unique_ptr<records::VerifyRecording>& recording;
    // Outlives the recording, whose thread shows the verdict line after it.
    RunPrinter& printer;
    int kind = 0;              // of the module under test, once known
    std::optional<Plan> plan;  // once expanded
    bool ran = false;          // the run ran, and set the generators safe itself
};

// The verification on the open instrument: the exit code. A reason to end
// before the run is printed here; the caller sets the generators safe.
int verifyOpened(Opened& o) {
    const Options& opt = o.opt;
    std::string problem;
    std::optional<RunSetup> setup = SetupFromCfg(opt.cfg, problem);
    if (!setup) {
        std::cerr << "yukt-verify: " << problem << '\n';
        return 1;
    }
    o.kind = setup->kind;
    problem = takeIdent(*setup, opt);
    if (!problem.empty()) {
        std::cerr << "yukt-verify: " << problem << '\n';
        return 2;
    }
    o.plan = Expand(o.methodology, {"", setup->kind, 0}, problem);
    if (!o.plan) {
        std::cerr << "yukt-verify: " << problem << " в " << opt.cfg << '\n';
        return 1;
    }
    const Plan& plan = *o.plan;
    std::vector<int> items;  // empty: the whole plan
    if (opt.channelsGiven) {
        for (const PlanItem& it : FilterChannels(plan, opt.channels).items) items.push_back(it.item);
        for (int c : opt.channels)
            if (std::none_of(plan.items.begin(), plan.items.end(),
                             [c](const PlanItem& it) { return it.channel == c; })) {
                std::cerr << "yukt-verify: --channels: в плане нет канала " << c << '\n';
                return 2;
            }
    }

    // Only a bench whose modules answered can judge the module: else the run
    // does not begin, and no record is made. A stop that came while the
    // instrument opened goes first: the run then ends at once, "прервано",
    // after setting the generators safe.
    if (!stopPending()) problem = BenchNotReady(TheModuleSet(), plan, setup->kind);
    if (!problem.empty()) {
        std::cerr << "yukt-verify: " << problem << '\n';
        return 2;
    }
    // A stop asked for from here on is served by the run itself, which
    // leaves the generators at their safe values.

    RunPrinter& printer = o.printer;
    if (opt.record.Wanted()) {
        o.recording = records::VerifyRecording::Start(opt.record, opt.serial, o.methodology, plan,
                                                      *setup, &printer, problem);
        if (!o.recording) {
            std::cerr << "yukt-verify: " << problem << '\n';
            return 2;
        }
    }
    InstrumentRunner& runner = o.runner;
    if (o.recording) o.recording->SetStop([&runner] { runner.RequestStop(); });
    const bool terminal = isatty(STDIN_FILENO) == 1;
    // A stop wakes a question on the terminal through this pipe.
    int stopPipe[2] = {-1, -1};
    if (::pipe2(stopPipe, O_CLOEXEC) != 0) stopPipe[0] = stopPipe[1] = -1;
    runner.SetAnswerer(
        [&](const Question& q) { return AnswerOf(opt.confirm, q, terminal, stopPipe[0]); });
    const sigset_t& signals = o.signals;
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&signals, &sig);
        if (sig == SIGUSR1) return;
        runner.RequestStop();
        if (stopPipe[1] >= 0) (void)!::write(stopPipe[1], "s", 1);
    });
    VerificationRun run(plan, *setup,
                        o.recording ? o.recording->Sink() : static_cast<ProgressSink*>(&printer),
                        items);
    printer.Header(o.methodology, plan);
    o.ran = true;
    const int code = exitCode(runner.Run(run).verdict);
    if (!runner.LineProblem().empty()) std::cerr << "yukt-verify: " << runner.LineProblem() << '\n';
    if (!runner.Problem().empty()) {
        // The verdict stands; the bench needs a look before the next run.
        std::cerr << "yukt-verify: " << runner.Problem() << '\n';
    }
    // The safe phase is over: the record is closed with what it found.
    if (o.recording) o.recording->SafeChecked(runner.Problem());
    pthread_kill(stopper.native_handle(), SIGUSR1);
    stopper.join();
    for (int fd : stopPipe)
        if (fd >= 0) ::close(fd);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything else: a signal that comes while the program is still
    // starting waits, blocked, for the run to see it (exit 4), and every
    // thread started later inherits the mask.
    const sigset_t signals = blockStopSignals();
    if (yukt::PrintVersionIfAsked(argc, argv, "yukt-verify")) return 0;
    Options opt;
    if (!parseOptions(argc, argv, opt)) {
        std::cerr << kUsage << records::kRecordUsage << '\n';
        return 2;
    }
    ProcedureError merr;
    std::optional<Methodology> methodology = LoadMethodology(opt.methodology, merr);
    if (!methodology) {
        std::cerr << "yukt-verify: " << merr.Text() << '\n';
        return 1;
    }
    if (stopPending()) return stopped();

    // A line fault is the line's: each exchange is tried again, the line
    // re-synchronised, before it counts as failed.
    UseLineAttempts();
    auto prbr = std::make_unique<TcPrbr>();
    prbr->SetMinTime(170);
    prbr->SetPathCfg(opt.cfg);
    prbr->SetOpenPribor(true);
    prbr->SetPauze(true);
    // The instrument reads every configuration file first, with the readers
    // the console uses: a file that cannot be read is named with their reason.
    const std::string problem = openProblem(*prbr);
    if (!prbr->OpenPribor()) {
        std::cerr << "yukt-verify: " << problem << '\n';
        return 2;
    }
    // From here every way out leaves the generators at the methodology's
    // safe values, confirmed or reported: the run's own safe phase, or else
    // this one, whatever ended the program before its run.
    RunPrinter printer(std::cout, opt.json, opt.serial);
    std::unique_ptr<records::VerifyRecording> recording;
    int code = 4;
    {
        InstrumentRunner runner(*prbr);
        Opened opened{opt, *methodology, runner, signals, recording, printer, 0, std::nullopt, false};
        if (problem.empty()) {
            code = verifyOpened(opened);
        } else {
            std::cerr << "yukt-verify: " << problem << '\n';
            code = 2;
        }
        if (!opened.ran) {
            const std::string& safe = runner.PutSafe(ForAnsweringGenerators(
                TheModuleSet(), opened.plan ? PlanSafeCommands(*opened.plan)
                                            : MethodologySafeCommands(*methodology, opened.kind)));
            if (!safe.empty()) std::cerr << "yukt-verify: " << safe << '\n';
        }
        // The records' thread may still be writing: it stops this runner no more.
        if (recording) recording->SetStop(nullptr);
    }
    prbr.reset();
    if (recording) {
        std::string error = recording->Finish();
        // A thread still waits on the silent database: no destructor may
        // run under it.
        if (recording->Abandoned()) Fatal("yukt-verify: запись о поверке: " + error);
        if (!error.empty()) {
            std::cerr << "yukt-verify: запись о поверке: " << error << '\n';
            return 1;
        }
        if (recording->Lost()) {
            std::cerr << "yukt-verify: " << recording->LostNotice() << '\n';
            code = 4;
        }
    }
    return code;
}
