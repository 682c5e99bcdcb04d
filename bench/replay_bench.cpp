// How closely a replay keeps the recorded delays at --speed 1: each
// iteration is one request to yukt-bench --replay (on its pseudo-terminal)
// and its reply, recorded DELAY ms after the request. The counters give the
// reply's mean and worst distance from the recorded delay; the goal is
// within ±10 ms.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/com_port.h"
#include "link/trace_format.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::vector<std::uint8_t> kRequest{0xAA, 0xAA, 0x55, 0x30, 0x31, 0x31, 0x37, 0x31, 0x38, 0x0A};
const std::vector<std::uint8_t> kReply{0xAA, 0xAA, 0x55, 0x30, 0x31, 0x31, 0x38, 0x31, 0x39, 0x0A};

std::string binDir() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }

void ReplayDelay(benchmark::State& state) {
    const int delayMs = static_cast<int>(state.range(0));
    const int count = static_cast<int>(state.max_iterations);
    const fs::path dir = fs::temp_directory_path() / ("replay_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        // Requests 300 ms apart, each answered after the delay.
        std::ofstream out(dir / "t.trace");
        out << "# yukt-trace 2 replay_bench 1 COM1=9600,/dev/ttyS0\n";
        std::uint64_t t = 1000000;
        for (int i = 0; i < count; ++i, t += 300000) {
            out << yukt::FormatTraceLine(t, "COM1", yukt::TraceDir::Sent, kRequest) << '\n';
            out << yukt::FormatTraceLine(t + static_cast<std::uint64_t>(delayMs) * 1000, "COM1",
                                         yukt::TraceDir::Received, kReply)
                << '\n';
        }
    }
    const std::string program = binDir() + "/yukt-bench";
    const std::string trace = (dir / "t.trace").string();
    const std::string link = (dir / "com1").string();
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl(program.c_str(), program.c_str(), "--replay", trace.c_str(), "--linger", "0",
              link.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 500 && !fs::is_symlink(link); ++i) std::this_thread::sleep_for(10ms);
    std::string error;
    auto port = yukt::OpenSerialDevice(link, 9600, error);
    if (!port) {
        state.SkipWithError(("no replay: " + error).c_str());
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return;
    }
    double sum = 0, worst = 0;
    int n = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        port->writeAll(kRequest.data(), kRequest.size(), 1000ms);
        std::size_t got = 0;
        while (got < kReply.size() && port->readByte(2000ms) >= 0) ++got;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        const double off = ms - delayMs;
        sum += off;
        worst = std::max(worst, std::abs(off));
        ++n;
    }
    state.counters["off_ms_mean"] = n ? sum / n : 0;
    state.counters["off_ms_worst"] = worst;
    port.reset();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    fs::remove_all(dir);
}

}  // namespace

BENCHMARK(ReplayDelay)->Arg(25)->Arg(50)->Arg(200)->Iterations(20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
