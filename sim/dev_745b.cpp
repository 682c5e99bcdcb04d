// ЮКТ-745b: 32 RTD channels in four groups of eight, one reference resistor
// per group.
//
// Command 2 answers one group per request, the groups in turn 1, 2, 3, 4:
// the group number, the 16-bit reading of the group's reference resistor,
// then the eight 16-bit channel readings, channel 8 first and channel 1 last
// (little-endian words). Every channel sees the bench's RTD resistance; the
// reference resistors are FLASH parameters 1..4.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kReadCommand = 2;
constexpr int kGroups = 4;
constexpr int kChannelsPerGroup = 8;
constexpr double kCodesPerOhm = 128.0;  // 512 ohm fills the 16-bit range
constexpr double kDefaultOhm = 100.0;

std::uint16_t code16(double value) {
    return static_cast<std::uint16_t>(std::clamp(std::round(value), 0.0, 65535.0));
}

class Dev745b final : public SimModule {
  public:
    Dev745b() : SimModule("745b") {
        for (int g = 1; g <= kGroups; ++g) flash().setParam(g, kDefaultOhm);
    }

  private:
    void onReset() override { m_nextGroup = 1; }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kReadCommand || !data.empty()) return Reply::refused();
        const int group = m_nextGroup;
        m_nextGroup = group % kGroups + 1;
        std::vector<std::uint8_t> out;
        out.push_back(static_cast<std::uint8_t>(group));
        putLe(out, code16(paramOr(group, kDefaultOhm) * kCodesPerOhm), 2);
        for (int channel = kChannelsPerGroup; channel >= 1; --channel)
            putLe(out, code16(physics().rtdOhm * kCodesPerOhm), 2);
        return Reply::ok(std::move(out));
    }

    int m_nextGroup = 1;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice745b() { return std::make_unique<Dev745b>(); }

}  // namespace yukt::sim
