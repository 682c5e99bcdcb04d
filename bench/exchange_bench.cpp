// Round trip of one request/reply exchange over a pseudo-terminal, side by
// side: the link's identification exchange against a minimal module, and
// (when libmodbus is installed) libmodbus RTU reading four holding registers
// against an equally minimal Modbus server. Each responder is a thread on
// the master side that answers a complete request with one write.
//
// Counters: median and p99 of the round trip in µs. System calls per
// exchange of the requesting thread: run one benchmark under strace, which
// follows only the main thread without -f:
//   strace -c build/bin/exchange_bench --benchmark_filter=Ident
// and divide the counts by the iterations (see docs/link-io.md).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/tp6606.h"

#ifdef YUKT_HAVE_MODBUS
#include <modbus.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kExchanges = 2000;

// A responder on the master side of a pseudo-terminal: collects bytes until
// `complete` says a request is whole, then writes the reply in one call.
class PtyResponder {
  public:
    using Complete = std::function<bool(const std::vector<std::uint8_t>&)>;
    using Reply = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)>;

    PtyResponder(Complete complete, Reply reply)
        : m_complete(std::move(complete)), m_reply(std::move(reply)) {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
        m_slave = ::ptsname(m_master);
        // Held open so that the line never hangs up between the host's opens.
        m_keep = ::open(m_slave.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(m_keep, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_keep, TCSANOW, &t);
        m_thread = std::thread([this] { run(); });
    }
    ~PtyResponder() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_keep >= 0) ::close(m_keep);
        if (m_master >= 0) ::close(m_master);
    }
    const std::string& slave() const { return m_slave; }

  private:
    void run() {
        std::vector<std::uint8_t> request;
        while (!m_stop) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0) continue;
            request.insert(request.end(), buf, buf + n);
            if (!m_complete(request)) continue;
            const std::vector<std::uint8_t> out = m_reply(request);
            request.clear();
            if (::write(m_master, out.data(), out.size()) < 0) return;
        }
    }

    Complete m_complete;
    Reply m_reply;
    int m_master = -1;
    int m_keep = -1;
    std::string m_slave;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void reportRoundTrips(benchmark::State& state, std::vector<double>& us) {
    if (us.empty()) return;
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}

// The module's identification reply, built from the frame layout: AA AA 55,
// LEN, status, data and SUM as nibble characters, LF.
std::vector<std::uint8_t> identReply(int addr) {
    const std::string text = "74500A01";
    std::vector<std::uint8_t> out = {0xAA, 0xAA, 0x55};
    auto put = [&out](int v) {
        out.push_back(static_cast<std::uint8_t>('0' + ((v >> 4) & 15)));
        out.push_back(static_cast<std::uint8_t>('0' + (v & 15)));
    };
    const int len = static_cast<int>(text.size()) + 1;
    const int status = addr << 4 | 8;
    int sum = len + status;
    put(len);
    put(status);
    for (char c : text) {
        put(static_cast<std::uint8_t>(c));
        sum += static_cast<std::uint8_t>(c);
    }
    put(sum & 255);
    out.push_back(10);
    return out;
}

void BM_IdentExchange(benchmark::State& state) {
    PtyResponder module([](const std::vector<std::uint8_t>& r) { return r.back() == 10; },
                        [](const std::vector<std::uint8_t>&) { return identReply(6); });
    ::setenv("YUKT_COM1", module.slave().c_str(), 1);
    yukt::Ttp6606 link;
    link.SetComIndex(0);
    link.SetSpeed(9600);
    link.OpenLink(true);
    link.SetAddr(6);
    if (!link.IsOpen()) {
        state.SkipWithError(link.ErrorMessage().c_str());
        return;
    }
    std::vector<double> us;
    us.reserve(kExchanges);
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const std::string ident = link.ReadIdent();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (ident != "74500A01") state.SkipWithError(("identification: " + ident).c_str());
    }
    reportRoundTrips(state, us);
    state.counters["stale_bytes"] = static_cast<double>(link.StaleBytes);
    ::unsetenv("YUKT_COM1");
}
BENCHMARK(BM_IdentExchange)->Iterations(kExchanges)->Repetitions(3)->Unit(benchmark::kMicrosecond);

#ifdef YUKT_HAVE_MODBUS

std::uint16_t modbusCrc(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// Function 3 (read holding registers): slave, 3, byte count, registers, CRC.
std::vector<std::uint8_t> registersReply(const std::vector<std::uint8_t>& request) {
    const int count = request[4] << 8 | request[5];
    std::vector<std::uint8_t> out = {request[0], 3, static_cast<std::uint8_t>(2 * count)};
    for (int i = 0; i < count; ++i) {
        out.push_back(0x12);
        out.push_back(static_cast<std::uint8_t>(i));
    }
    const std::uint16_t crc = modbusCrc(out.data(), out.size());
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    return out;
}

void BM_ModbusReadFourRegisters(benchmark::State& state) {
    PtyResponder server([](const std::vector<std::uint8_t>& r) { return r.size() >= 8; },
                        registersReply);
    modbus_t* ctx = modbus_new_rtu(server.slave().c_str(), 9600, 'N', 8, 1);
    if (ctx == nullptr || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        state.SkipWithError("libmodbus did not open the pseudo-terminal");
        if (ctx) modbus_free(ctx);
        return;
    }
    std::vector<double> us;
    us.reserve(kExchanges);
    std::uint16_t regs[4];
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const int n = modbus_read_registers(ctx, 0, 4, regs);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (n != 4) state.SkipWithError("registers not read");
    }
    reportRoundTrips(state, us);
    modbus_close(ctx);
    modbus_free(ctx);
}
BENCHMARK(BM_ModbusReadFourRegisters)
    ->Iterations(kExchanges)
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond);

#endif

}  // namespace

BENCHMARK_MAIN();
