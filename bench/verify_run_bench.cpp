// A five-point current procedure on the in-process bench with every byte
// timed as a 9600-baud line would, against the sum of the line time of its
// exchanges (the physical limit). Settling delays are 0, so what is left
// above the line time is the run's own overhead.

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

namespace {

using namespace yukt;
using namespace yukt::verify;

// Bytes of a binary frame with n data bytes: AA AA 55, LEN, HDR, data and
// SUM as two nibble characters each, LF.
int frameBytes(int n) { return 3 + 2 * (n + 3) + 1; }

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
    bench.setFrameLog([&](const std::string& line) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) return;
        std::istringstream data(line.substr(colon + 1));
        int n = 0;
        for (std::string w; data >> w;) ++n;
        bytes += frameBytes(n);
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
        VerificationRun run(p, {1, 0}, nullptr);
        const auto t0 = std::chrono::steady_clock::now();
        runner.Run(run);
        runSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        lineSeconds += bytes * 10.0 / 9600.0;
        if (run.Result().verdict != RunVerdict::Fit) state.SkipWithError("run not fit");
    }
    state.counters["run_s"] = runSeconds / state.iterations();
    state.counters["line_s"] = lineSeconds / state.iterations();
    state.counters["ratio"] = runSeconds / lineSeconds;
    prbr.reset();
    TheModuleSet().CloseModuleSet();
    SetComPortOpener(nullptr);
    SetWaitPumpHook(nullptr);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FivePointCurrentRun)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
