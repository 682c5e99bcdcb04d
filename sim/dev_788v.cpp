// ЮКТ-788v: generator of a pulse pattern of four programmable times.
//
// Its timer runs at a quarter of the quartz (FLASH parameter 1, kHz).
//  - command 1, thirteen bytes 0, P1, P2, P3, P4 (24-bit tick counts): the
//    output repeats the pattern high P1, low P2, high P3, low P4; the module
//    counts each repetition as one pulse from then on;
//  - command 1, one byte 5: the pulse count, bit 23 set (the count is final);
//  - command 2, one byte 0: the output stops;
//  - command 3: the pulses so far (24 bits), the ticks since the last
//    repetition began (16 bits), then two zero bytes.
// The reset command (0) stops the output as well.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kFunctionCommand = 1;
constexpr int kStopCommand = 2;
constexpr int kCountersCommand = 3;
constexpr std::uint8_t kTimes = 0;
constexpr std::uint8_t kCountRequest = 5;
constexpr std::uint32_t kCountDone = 0x800000;
constexpr double kDefaultQuartzKHz = 7374.6075308;

class Dev788v final : public SimModule {
  public:
    Dev788v() : SimModule("788v") { flash().setParam(1, kDefaultQuartzKHz); }

  private:
    void onReset() override {
        const double quartz = paramOr(1, kDefaultQuartzKHz);
        m_tick = 4.0 / ((quartz > 0 ? quartz : kDefaultQuartzKHz) * 1000.0);
        m_train = {};
    }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command == kFunctionCommand && data.size() == 13 && data[0] == kTimes) {
            double ticks = 0;
            for (int i = 0; i < 4; ++i) ticks += static_cast<double>(getLe(data, 1 + 3 * i, 3));
            if (ticks <= 0) return Reply::refused();
            const double high = static_cast<double>(getLe(data, 1, 3));
            m_train = {now(), ticks * m_tick, high * m_tick, kNever};
            return Reply::ok();
        }
        if (command == kFunctionCommand && data.size() == 1 && data[0] == kCountRequest) {
            std::vector<std::uint8_t> out = {kCountRequest};
            putLe(out, (static_cast<std::uint32_t>(pulses()) & 0x7FFFFF) | kCountDone, 4);
            return Reply::ok(std::move(out));
        }
        if (command == kStopCommand && data.size() == 1 && data[0] == 0) {
            m_train = {};
            return Reply::ok();
        }
        if (command == kCountersCommand && data.empty()) {
            std::vector<std::uint8_t> out;
            const std::int64_t n = pulses();
            double since = 0;
            if (n > 0) since = (now() - *m_train.lastEdgeAtOrBefore(now())) / m_tick;
            putLe(out, static_cast<std::uint64_t>(std::min<std::int64_t>(n, 0xFFFFFF)), 3);
            putLe(out, static_cast<std::uint64_t>(std::clamp(std::round(since), 0.0, 65535.0)), 2);
            putLe(out, 0, 2);
            return Reply::ok(std::move(out));
        }
        return Reply::refused();
    }

    std::int64_t pulses() const { return m_train.running() ? m_train.edgesUpTo(now()) : 0; }

    double m_tick = 4.0 / (kDefaultQuartzKHz * 1000.0);  // seconds per timer tick
    PulseTrain m_train;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice788v() { return std::make_unique<Dev788v>(); }

}  // namespace yukt::sim
