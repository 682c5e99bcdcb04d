// Link layer costs: processor time spent while a byte receive waits out its
// time-out (it must block, not spin), and the frame encode/decode rate.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "link/frame_codec.h"
#include "link/io_ports.h"
#include "link/link_hooks.h"
#include "link/tp6606.h"

namespace {

using namespace yukt;

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A register board whose lines never deliver a byte.
class SilentBoard final : public IoPorts {
  private:
    std::uint8_t doIn(std::uint16_t port) override {
        switch (port & 3) {
            case 0:
                return static_cast<std::uint8_t>(m_status << 4);
            case 1:
                return m_result << 4;
            default:
                return 0;
        }
    }
    void doOut(std::uint16_t port, std::uint8_t v) override {
        if ((port & 3) != 0) return;
        m_status = v & 15;
        m_result = (m_status == 5 || m_status == 7) ? 8 : 0;
    }
    std::uint8_t m_status = 0;
    std::uint8_t m_result = 0;
};

void reportTimeout(benchmark::State& state, double cpuMs, double wallMs) {
    state.counters["cpu_ms_per_timeout"] = benchmark::Counter(cpuMs / state.iterations());
    state.counters["wall_ms_per_timeout"] = benchmark::Counter(wallMs / state.iterations());
}

void BM_ComReceiveTimeout(benchmark::State& state) {
    int master = -1, slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    setenv("YUKT_COM1", name, 1);
    Ttp6606 link;
    link.SetComIndex(0);
    link.OpenLink(true);
    if (!link.IsOpen()) {
        state.SkipWithError("COM port did not open");
        return;
    }
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = threadCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(link.RecvByte(1));
        wall += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
        cpu += threadCpuMs() - c0;
    }
    reportTimeout(state, cpu, wall);
    link.OpenLink(false);
    close(master);
    close(slave);
}
BENCHMARK(BM_ComReceiveTimeout)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_BoardReceiveTimeout(benchmark::State& state) {
    SetIoPorts(std::make_shared<SilentBoard>());
    SetWaitPumpHook([](int) {});
    Ttp6606 link;
    link.OpenLink(true);
    if (!link.IsOpen()) {
        state.SkipWithError(link.ErrorText.c_str());
        return;
    }
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = threadCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(link.RecvByte(1));
        wall += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
        cpu += threadCpuMs() - c0;
    }
    reportTimeout(state, cpu, wall);
    SetIoPorts(nullptr);
    SetWaitPumpHook({});
}
BENCHMARK(BM_BoardReceiveTimeout)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_FrameEncode(benchmark::State& state) {
    std::uint8_t data[kBufSize];
    for (int i = 0; i < kBufSize; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(EncodeFrame(6, 1, data, n));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_FrameEncode)->Arg(0)->Arg(8)->Arg(254);

void BM_FrameDecode(benchmark::State& state) {
    std::uint8_t data[kBufSize];
    for (int i = 0; i < kBufSize; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> frame = EncodeFrame(6, 9, data, n);
    std::uint8_t buf[kBufSize];
    FrameDecoder decoder(buf);
    for (auto _ : state) {
        decoder.reset();
        FrameDecoder::Step step = FrameDecoder::Step::NeedMore;
        for (std::uint8_t b : frame) step = decoder.feed(b);
        if (step != FrameDecoder::Step::Frame) state.SkipWithError("frame not decoded");
        benchmark::DoNotOptimize(buf);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_FrameDecode)->Arg(0)->Arg(8)->Arg(254);

}  // namespace

BENCHMARK_MAIN();
