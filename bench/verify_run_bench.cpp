// A five-point current procedure on the in-process bench with every byte
// timed as a 9600-baud line would. Settling delays are 0; a current is read
// at most once a second, so the run waits at least (points - 1) s for its
// readings. `ratio` sets the run's time against that wait plus the line
// time of all its exchanges: what is left above 1 is the run's own overhead.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include "common/cp1251.h"
#include "instrument/cprbr.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "sim/bench.h"
#include "sim/device_table.h"
#include "verify/instrument_runner.h"
#include "verify/methodology.h"
#include "verify/plan.h"

namespace {

using namespace yukt;
using namespace yukt::verify;

void BM_FivePointCurrentRun(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "yukt-vbench-XXXXXX").string();
    const std::string dir = std::string(mkdtemp(pattern.data())) + "/";
    WriteTextFile(dir + "tp6606.cfg", ";\n");
    WriteTextFile(dir + "tpCom.cfg", " 1 9600\n");
    WriteTextFile(dir + "tp787x.cfg", "787x 1 1 23 1 4 6\n");
    WriteTextFile(dir + "tp745t.cfg", "745t 2 1 23 6 100 100 1 2500.0\n");
    sim::Bench bench;
    bench.installCalibrator(false);
    bench.place(6, sim::makeDevice("745t"), sim::Role::UnderTest);
    bench.setLineSpeed(9600);
    bench.setWireTiming(true);
    long bytes = 0;
    // A trace line lists a frame's bytes on the wire: "<µs> <line> -> AA AA
    // 55 ... | <decoded>".
    bench.setFrameLog([&](const std::string& line) {
        std::size_t from = line.find(" -> ");
        if (from == std::string::npos) from = line.find(" <- ");
        const std::size_t to = line.find(" | ", from);
        if (from == std::string::npos || to == std::string::npos) return;
        std::istringstream hex(line.substr(from + 4, to - from - 4));
        for (std::string w; hex >> w;) ++bytes;
    });
    SetWaitPumpHook([](int) {});
    SetComPortOpener([&](int, int, std::string&) { return bench.connect(); });

    Procedure p;
    p.kinds = {1};
    p.quantity = Quantity::Current;
    p.points = {4, 8, 12, 16, 20};
    p.errorKind = ErrorKind::Abs;
    p.limit = 0.01;
    p.settling = {0, 1, 0, 10, 1};

    auto prbr = std::make_unique<TcPrbr>();
    prbr->SetPathCfg(dir);
    prbr->SetOpenPribor(true);
    double runSeconds = 0, lineSeconds = 0;
    for (auto _ : state) {
        bytes = 0;
        InstrumentRunner runner(*prbr);
        std::string error;
        VerificationRun run(*PlanOfProcedure(p, 1, error), {1, 0}, nullptr);
        const auto t0 = std::chrono::steady_clock::now();
        runner.Run(run);
        runSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        lineSeconds += bytes * 10.0 / 9600.0;
        if (run.Result().verdict != RunVerdict::Fit) state.SkipWithError("run not fit");
    }
    state.counters["run_s"] = runSeconds / state.iterations();
    state.counters["line_s"] = lineSeconds / state.iterations();
    const double paced = PollPeriod(Quantity::Current) * double(p.points.size() - 1);
    state.counters["paced_s"] = paced;
    state.counters["ratio"] = runSeconds / (paced * state.iterations() + lineSeconds);
    prbr.reset();
    TheModuleSet().CloseModuleSet();
    SetComPortOpener(nullptr);
    SetWaitPumpHook(nullptr);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FivePointCurrentRun)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// A plan on the in-process bench at 9600 baud with wire timing and settling
// delays at 0: the module under test, the calibrator's config, every
// exchange counted by the poll it answers.
class PlanBench {
  public:
    PlanBench(const std::string& model, const std::string& cfgLine) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "yukt-pbench-XXXXXX").string();
        m_dir = std::string(mkdtemp(pattern.data())) + "/";
        WriteTextFile(m_dir + "tp6606.cfg", ";\n");
        WriteTextFile(m_dir + "tpCom.cfg", " 1 9600\n");
        WriteTextFile(m_dir + "tp787x.cfg", "787x 1 1 23 1 4 6\n");
        WriteTextFile(m_dir + "tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n");
        WriteTextFile(m_dir + "tp745t.cfg", "745t 1 1 23 4 91.85776 91.85776 2 2500.0\n");
        AppendTextFile(m_dir + "tp" + model + ".cfg", cfgLine + "\n");
        m_bench.installCalibrator(true);
        m_bench.place(6, sim::makeDevice(model), sim::Role::UnderTest);
        m_bench.setModeSwitch(sim::ModeSwitch::Verification);
        m_bench.setLineSpeed(9600);
        m_bench.setWireTiming(true);
        SetWaitPumpHook([](int) {});
        SetComPortOpener([this](int, int, std::string&) { return m_bench.connect(); });
        m_prbr = std::make_unique<TcPrbr>();
        m_prbr->SetPathCfg(m_dir);
        m_prbr->SetOpenPribor(true);
    }
    ~PlanBench() {
        m_prbr.reset();
        TheModuleSet().CloseModuleSet();
        SetComPortOpener(nullptr);
        SetWaitPumpHook(nullptr);
        std::filesystem::remove_all(m_dir);
    }

    // Runs the items (empty: all); returns the seconds it took.
    double Run(const Plan& plan, const std::vector<int>& items, RunVerdict& verdict) {
        InstrumentRunner runner(*m_prbr);
        runner.SetAnswerer([](const Question&) { return std::pair{Answer::Yes, std::string()}; });
        VerificationRun run(plan, {plan.kind, 7374.6075308, "", "", 7374.2978}, nullptr, items);
        const auto t0 = std::chrono::steady_clock::now();
        verdict = runner.Run(run).verdict;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }

  private:
    std::string m_dir;
    sim::Bench m_bench;
    std::unique_ptr<TcPrbr> m_prbr;
};

Plan errorPlan(const std::string& text) {
    ProcedureError e;
    std::optional<Methodology> m = ParseMethodology(text, "bench.toml", e);
    if (!m) return {};
    std::string error;
    return Expand(*m, {m->models.front(), 0, 0}, error).value_or(Plan{});
}

const char* const k748t = R"(id = "МП"
revision = 1
title = "748t"
models = ["748t"]
interval_months = 12
[tolerances.current]
kind = "reduced"
limit = 0.2
span = [0, 20]
resolution = 0.01
[settlings.current]
delay = 0
agree = 3
band = 0.005
timeout = 20
readings = 3
[reference.current]
kind = "abs"
limit = 0.004
[[operations]]
id = "7.4"
title = "ток"
kind = "error"
quantity = "current"
channels = "1-16"
points = [4, 8, 12, 16, 20]
tolerance = "current"
settling = "current"
connection = "series"
)";

// The whole 748t (16 channels × 5 points, series) against its channel 1
// alone: the series reads every channel from the same replies.
void BM_Whole748tAgainstOneChannel(benchmark::State& state) {
    PlanBench bench("748t", "748t 2 1 23 6 99.849 99.849");
    const Plan plan = errorPlan(k748t);
    std::vector<int> one;
    for (const PlanItem& it : FilterChannels(plan, {1}).items) one.push_back(it.item);
    double whole = 0, single = 0;
    for (auto _ : state) {
        RunVerdict v1 = RunVerdict::Interrupted, v2 = RunVerdict::Interrupted;
        whole += bench.Run(plan, {}, v1);
        single += bench.Run(plan, one, v2);
        if (v1 != RunVerdict::Fit || v2 != RunVerdict::Interrupted)
            state.SkipWithError("unexpected verdict");
    }
    state.counters["whole_s"] = whole / state.iterations();
    state.counters["one_channel_s"] = single / state.iterations();
    state.counters["ratio"] = whole / single;
}
BENCHMARK(BM_Whole748tAgainstOneChannel)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

const char* const k735xInterval = R"(id = "МП"
revision = 1
title = "735x"
models = ["735x"]
interval_months = 12
[tolerances.interval]
kind = "abs"
limit = 0.001
resolution = 0.00001
[settlings.once]
delay = 0
agree = 1
timeout = 20
readings = 1
[reference.interval]
kind = "abs"
limit = 0.0001
[[operations]]
id = "7.5"
title = "интервал"
kind = "error"
quantity = "interval"
channels = "1"
points = [1, 2]
tolerance = "interval"
settling = "once"
connection = "series"
)";

// Polls of a 5 s interval point against the module's updates while it
// waits (the 735x's detector state changes every 0.1 s). The run is driven
// alone, every poll answered at once with "detector 2 not yet fired", so
// nothing but the run's own pacing limits the polls.
void BM_IntervalPointPolls(benchmark::State& state) {
    std::string text = k735xInterval;
    text.replace(text.find("points = [1, 2]"), 15, "points = [5]");
    const Plan plan = errorPlan(text);
    long polls = 0, updates = 0;
    for (auto _ : state) {
        VerificationRun run(plan, {plan.kind, 7374.6075308}, nullptr);
        double t = 0;
        Actions a = run.Start(t);
        a = run.Reply("788t 1 0 5 0", t);
        while (!a.finished && t < 5) {
            bool polled = false;
            for (const std::string& c : a.commands) polled |= c == "Get 735x 2";
            if (polled) {
                ++polls;
                a = run.Reply("735x 2 0 0 0 1 0 0 0.3 0 0 0", t);
            } else {
                t = a.wakeAt;
                a = run.Tick(t);
            }
        }
        updates += 50;
    }
    state.counters["polls_per_update"] = static_cast<double>(polls) / static_cast<double>(updates);
}
BENCHMARK(BM_IntervalPointPolls)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
