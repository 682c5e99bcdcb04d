// ЮКТ-788x: frequency and interval generator counting backward or forward.
//
// Its timer runs at a quarter of the quartz (FLASH parameter 1, kHz).
//  - command 1, eight bytes: the period reload D (period r = 65536 - D
//    ticks), the second period's reload, two bytes the module ignores, 400;
//  - command 4 (backward) and command 2 (forward), six bytes W, K, R: a burst
//    of pulses r ticks apart, W ticks high, during (K + 2) spans + R ticks;
//  - command 3: the pulses of the last interval (24 bits), the ticks from the
//    last rising edge to the end of the interval (16 bits), and D.
// Each burst starts low and rises r - W ticks after its start.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kPeriodsCommand = 1;
constexpr int kForwardCommand = 2;
constexpr int kCountersCommand = 3;
constexpr int kBackwardCommand = 4;
constexpr double kDefaultQuartzKHz = 7374.6075308;
constexpr double kSpan = 65536.0;

class Dev788x final : public SimModule {
  public:
    Dev788x() : SimModule("788x") { flash().setParam(1, kDefaultQuartzKHz); }

  private:
    void onReset() override {
        const double quartz = paramOr(1, kDefaultQuartzKHz);
        m_tick = 4.0 / ((quartz > 0 ? quartz : kDefaultQuartzKHz) * 1000.0);
        m_reload = 0;
        m_train = {};
        m_gate = {};
    }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        switch (command) {
            case kPeriodsCommand:
                if (data.size() != 8) return Reply::refused();
                m_reload = static_cast<int>(getLe(data, 0, 2));
                return Reply::ok();
            case kForwardCommand:
            case kBackwardCommand:
                if (data.size() != 6) return Reply::refused();
                startBurst(data);
                return Reply::ok();
            case kCountersCommand:
                if (!data.empty()) return Reply::refused();
                return counters();
            default:
                return Reply::refused();
        }
    }

    void startBurst(std::span<const std::uint8_t> data) {
        const double r = m_reload == 0 ? kSpan : kSpan - m_reload;
        const double widthTicks = std::clamp(static_cast<double>(getLe(data, 0, 2)), 1.0, r - 1.0);
        const double ticks = (static_cast<double>(getLe(data, 2, 2)) + 2.0) * kSpan +
                             static_cast<double>(getLe(data, 4, 2));
        const double start = now();
        m_train = {start + (r - widthTicks) * m_tick, r * m_tick, widthTicks * m_tick,
                   start + ticks * m_tick};
        m_gate = {start, start + ticks * m_tick};
    }

    Answer counters() const {
        std::int64_t pulses = 0;
        double ticksSinceEdge = 0.0;
        if (m_gate.armed()) {
            const double to = std::min(now(), m_gate.close);
            pulses = m_train.edgesBetween(m_gate.open, to);
            if (pulses > 0) ticksSinceEdge = (to - *m_train.lastEdgeAtOrBefore(to)) / m_tick;
        }
        std::vector<std::uint8_t> out;
        putLe(out, static_cast<std::uint64_t>(std::min<std::int64_t>(pulses, 0xFFFFFF)), 3);
        putLe(out, static_cast<std::uint64_t>(std::clamp(std::round(ticksSinceEdge), 0.0, 65535.0)),
              2);
        putLe(out, static_cast<std::uint64_t>(m_reload), 2);
        return Reply::ok(std::move(out));
    }

    double m_tick = 4.0 / (kDefaultQuartzKHz * 1000.0);  // seconds per timer tick
    int m_reload = 0;
    PulseTrain m_train;
    Gate m_gate;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice788x() { return std::make_unique<Dev788x>(); }

}  // namespace yukt::sim
