// ЮКТ-788t: frequency and interval generator.
//
// Its timer runs at a quarter of the quartz (FLASH parameter 1, kHz). Periods
// come as 16-bit timer reloads D (period r = 65536 - D ticks), intervals as
// whole 65536-tick spans K and a rest R.
//
//  - command 4 (backward) and command 2 (forward), ten bytes D, 400, W, K, R:
//    a burst of pulses r ticks apart, W ticks high, during (K + 2) spans + R;
//  - command 1, first byte the function:
//      1 D      continuous pulses at period r;
//      2        output off (the period is too long for the divider);
//      3 K R    one interval of K spans + R over the running pulses;
//      4 D S N  divider check: pulses at period r, then S control pulses of
//               preset and N control pulses counted;
//      5        the count of the divider check;
//  - command 3: the pulses of the last interval (24 bits), the ticks from the
//    last rising edge to the end of the interval (16 bits), and D.
//
// Every pulse train starts low and rises P - W after its start, and an
// interval over running pulses opens on a falling edge, so that
// (pulses - 1) + (P - W) / P + ticks / r is the interval in periods.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kFunctionCommand = 1;
constexpr int kForwardCommand = 2;
constexpr int kCountersCommand = 3;
constexpr int kBackwardCommand = 4;

constexpr std::uint8_t kContinuous = 1;
constexpr std::uint8_t kOff = 2;
constexpr std::uint8_t kInterval = 3;
constexpr std::uint8_t kDividerCheck = 4;
constexpr std::uint8_t kDividerCount = 5;

constexpr double kDefaultQuartzKHz = 7374.6075308;
constexpr double kSpan = 65536.0;
constexpr std::uint32_t kCountDone = 0x800000;  // bit 23: the count is final
constexpr std::uint32_t kCountMask = 0x7FFFFF;

class Dev788t final : public SimModule {
  public:
    Dev788t() : SimModule("788t") { flash().setParam(1, kDefaultQuartzKHz); }

  private:
    void onReset() override {
        const double quartz = paramOr(1, kDefaultQuartzKHz);
        m_tick = 4.0 / (quartz > 0 ? quartz * 1000.0 : kDefaultQuartzKHz * 1000.0);
        m_reload = 0;
        replaceTrain({});
        m_gate = {};
        m_burst = {};
        publish();
    }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        switch (command) {
            case kForwardCommand:
            case kBackwardCommand:
                if (data.size() != 10) return Reply::refused();
                startBurstInterval(data);
                break;
            case kFunctionCommand:
                return function(data);
            case kCountersCommand:
                if (!data.empty()) return Reply::refused();
                return counters();
            default:
                return Reply::refused();
        }
        publish();
        return Reply::ok();
    }

    Answer function(std::span<const std::uint8_t> data) {
        if (data.empty()) return Reply::refused();
        const std::uint8_t f = data[0];
        if (f == kContinuous && data.size() == 3) {
            startPulses(static_cast<int>(getLe(data, 1, 2)));
            m_burst = {};
        } else if (f == kOff && data.size() == 1) {
            replaceTrain({});
            m_burst = {};
        } else if (f == kInterval && data.size() == 5) {
            openInterval(static_cast<double>(getLe(data, 1, 2)) * kSpan +
                         static_cast<double>(getLe(data, 3, 2)));
        } else if (f == kDividerCheck && data.size() == 6) {
            startPulses(static_cast<int>(getLe(data, 1, 2)));
            m_burst = {true, now(), data[3], static_cast<int>(getLe(data, 4, 2))};
        } else if (f == kDividerCount && data.size() == 1) {
            std::vector<std::uint8_t> out = {kDividerCount};
            putLe(out, dividerCount(), 4);
            return Reply::ok(std::move(out));
        } else {
            return Reply::refused();
        }
        publish();
        return Reply::ok();
    }

    double periodTicks(int reload) const { return reload == 0 ? kSpan : kSpan - reload; }

    // Continuous pulses from now on, half a period high.
    void startPulses(int reload) {
        m_reload = reload;
        const double r = periodTicks(reload);
        const double width = std::max(1.0, std::nearbyint(r / 2.0)) * m_tick;
        const double period = r * m_tick;
        replaceTrain({now() + period - width, period, width, kNever});
    }

    // What the output put out so far stays in the history.
    void replaceTrain(const PulseTrain& next) {
        m_past.add(m_train, now());
        m_train = next;
    }

    void startBurstInterval(std::span<const std::uint8_t> data) {
        m_reload = static_cast<int>(getLe(data, 0, 2));
        const double r = periodTicks(m_reload);
        const double widthTicks = std::clamp(static_cast<double>(getLe(data, 4, 2)), 1.0, r - 1.0);
        const double ticks = (static_cast<double>(getLe(data, 6, 2)) + 2.0) * kSpan +
                             static_cast<double>(getLe(data, 8, 2));
        const double start = now();
        const double period = r * m_tick;
        const double width = widthTicks * m_tick;
        replaceTrain({start + period - width, period, width, start + ticks * m_tick});
        m_gate = {start, start + ticks * m_tick};
        m_burst = {};
    }

    // The interval opens on the next falling edge of running pulses.
    void openInterval(double ticks) {
        double open = now();
        if (m_train.running()) {
            if (auto rise = m_train.firstEdgeAfter(open - m_train.width))
                open = *rise + m_train.width;
        }
        m_gate = {open, open + ticks * m_tick};
    }

    Answer counters() const {
        std::int64_t pulses = 0;
        double ticksSinceEdge = 0.0;
        if (m_gate.armed()) {
            const double to = std::min(now(), m_gate.close);
            pulses = edgesBetween(m_past, m_train, m_gate.open, to);
            if (pulses > 0)
                ticksSinceEdge = (to - *lastEdgeAtOrBefore(m_past, m_train, to)) / m_tick;
        }
        std::vector<std::uint8_t> out;
        putLe(out, static_cast<std::uint64_t>(std::min<std::int64_t>(pulses, 0xFFFFFF)), 3);
        putLe(out, static_cast<std::uint64_t>(std::clamp(std::round(ticksSinceEdge), 0.0, 65535.0)),
              2);
        putLe(out, static_cast<std::uint64_t>(m_reload), 2);
        return Reply::ok(std::move(out));
    }

    // 0 while the preset runs (or nothing comes back), the running count with
    // bit 23 clear, the final count with bit 23 set.
    std::uint32_t dividerCount() const {
        const double divider = physics().feedbackDivider;
        if (!m_burst.active || divider <= 0.0 || !m_train.running()) return 0;
        const double control = divider * m_train.period;
        const double elapsed = now() - m_burst.start;
        const double controls = std::floor(elapsed / control + 1e-9);
        if (controls < m_burst.preset) return 0;
        if (controls >= m_burst.preset + m_burst.controlPulses) {
            const double total = std::floor(m_burst.controlPulses * divider + 1e-9);
            return (static_cast<std::uint32_t>(total) & kCountMask) | kCountDone;
        }
        const double counting = elapsed - m_burst.preset * control;
        return static_cast<std::uint32_t>(std::floor(counting / m_train.period + 1e-9)) &
               kCountMask;
    }

    void publish() {
        if (role() != Role::FrequencyGenerator) return;
        physics().pulses = m_train;
        physics().pastPulses = m_past;
        physics().gate = m_gate;
        physics().burst = m_burst;
    }

    double m_tick = 4.0 / (kDefaultQuartzKHz * 1000.0);  // seconds per timer tick
    int m_reload = 0;
    PulseTrain m_train;
    PulseHistory m_past;
    Gate m_gate;
    Burst m_burst;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice788t() { return std::make_unique<Dev788t>(); }

}  // namespace yukt::sim
