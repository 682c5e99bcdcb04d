// The instrument component's costs: the CPU an open but paused instrument
// uses while it waits, and the time from writing a command into sSet to its
// reply in OnGet — with the in-process bench answering at once (the
// software's own overhead) and with the bench timing every byte as a
// 9600-baud line would.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/cp1251.h"
#include "instrument/cprbr.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "sim/bench.h"
#include "sim/device_table.h"

namespace {

using namespace yukt;
using Clock = std::chrono::steady_clock;

// A configuration directory with one 745t (number 2, address 6) on COM 1,
// reporting to the component, and a bench behind COM 1 that holds it.
class Rig {
  public:
    explicit Rig(bool wireTiming) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "yukt-ibench-XXXXXX").string();
        m_dir = std::string(mkdtemp(pattern.data())) + "/";
        WriteTextFile(m_dir + "tp6606.cfg", ";\n");
        WriteTextFile(m_dir + "tpCom.cfg", " 1 9600\n");
        WriteTextFile(m_dir + "tp745t.cfg", "745t 2 1 23 6 100 100 1 2500.0\n");
        m_bench.place(6, sim::makeDevice("745t"));
        m_bench.setLineSpeed(9600);
        m_bench.setWireTiming(wireTiming);
        SetWaitPumpHook([](int) {});
        SetComPortOpener([this](int com, int, std::string& error) {
            std::unique_ptr<ByteTransport> port;
            if (com == 1)
                port = m_bench.connect();
            else
                error = "no port";
            return port;
        });

        m_prbr = std::make_unique<TcPrbr>();
        m_prbr->SetOnGet([this](TcPrbr&) {
            std::lock_guard<std::mutex> g(m_lock);
            ++m_replies;
            m_changed.notify_all();
        });
        m_prbr->SetOnSet([this](TcPrbr&) {
            std::lock_guard<std::mutex> g(m_lock);
            ++m_consumed;
            m_changed.notify_all();
        });
        m_prbr->SetPathCfg(m_dir);
        m_prbr->SetOpenPribor(true);
    }

    ~Rig() {
        m_prbr.reset();
        TheModuleSet().CloseModuleSet();
        SetComPortOpener(nullptr);
        SetWaitPumpHook(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    bool open() const { return m_prbr->OpenPribor(); }

    // Writes the command and waits for its reply; then for it to be consumed,
    // so that the next command finds sSet empty.
    void getAndWait(const std::string& command) {
        std::unique_lock<std::mutex> g(m_lock);
        const long replies = m_replies;
        const long consumed = m_consumed;
        m_prbr->SetsSet(command);
        m_changed.wait(g, [&] { return m_replies > replies; });
        m_replyAt = Clock::now();
        m_changed.wait(g, [&] { return m_consumed > consumed; });
    }

    Clock::time_point replyAt() const { return m_replyAt; }

  private:
    std::string m_dir;
    sim::Bench m_bench;
    std::unique_ptr<TcPrbr> m_prbr;
    std::mutex m_lock;
    std::condition_variable m_changed;
    long m_replies = 0;
    long m_consumed = 0;
    Clock::time_point m_replyAt;
};

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Target: under 1 % of one core. The tick timer keeps running (170 ms).
void BM_PausedInstrumentCpu(benchmark::State& state) {
    Rig rig(false);
    if (!rig.open()) {
        state.SkipWithError("the instrument did not open");
        return;
    }
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        state.counters["cpu_pct_of_core"] = (processCpuSeconds() - cpu0) / wall * 100.0;
    }
}
BENCHMARK(BM_PausedInstrumentCpu)->Iterations(1)->Unit(benchmark::kSecond);

// Target: under 100 µs of software overhead per command.
void BM_GetLatencyInstant(benchmark::State& state) {
    Rig rig(false);
    if (!rig.open()) {
        state.SkipWithError("the instrument did not open");
        return;
    }
    for (auto _ : state) {
        const auto t0 = Clock::now();
        rig.getAndWait("Get 745t 2");
        state.SetIterationTime(std::chrono::duration<double>(rig.replyAt() - t0).count());
    }
}
BENCHMARK(BM_GetLatencyInstant)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The 745t read: a request frame without data (10 bytes) and a reply with
// nine data bytes (28 bytes), 10 bit times per byte.
constexpr double kWireMs = (10 + 28) * 10 / 9600.0 * 1000.0;

void BM_GetLatencyWire9600(benchmark::State& state) {
    Rig rig(true);
    if (!rig.open()) {
        state.SkipWithError("the instrument did not open");
        return;
    }
    for (auto _ : state) {
        const auto t0 = Clock::now();
        rig.getAndWait("Get 745t 2");
        state.SetIterationTime(std::chrono::duration<double>(rig.replyAt() - t0).count());
    }
    state.counters["wire_ms_of_frames"] = kWireMs;
}
BENCHMARK(BM_GetLatencyWire9600)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
