// ЮКТ-745x: one RTD channel.
//
// Command 2 answers three little-endian 24-bit readings: the reference
// resistor and the measured resistor, both as the same excitation current
// times the resistance, then a third reading this model leaves at 0. The
// reference resistor the module really has is FLASH parameter 5.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kReadCommand = 2;
constexpr double kCodesPerOhm = 32768.0;  // 512 ohm fills the 24-bit range
constexpr double kFullScale24 = 16777216.0;
constexpr double kDefaultOhm = 100.0;

std::uint32_t code24(double value) {
    return static_cast<std::uint32_t>(std::clamp(std::round(value), 0.0, kFullScale24 - 1));
}

class Dev745x final : public SimModule {
  public:
    Dev745x() : SimModule("745x") { flash().setParam(5, kDefaultOhm); }

  private:
    void onReset() override { m_referenceOhm = paramOr(5, kDefaultOhm); }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kReadCommand || !data.empty()) return Reply::refused();
        std::vector<std::uint8_t> out;
        putLe(out, code24(m_referenceOhm * kCodesPerOhm), 3);
        putLe(out, code24(physics().rtdOhm * kCodesPerOhm), 3);
        putLe(out, 0, 3);
        return Reply::ok(std::move(out));
    }

    double m_referenceOhm = kDefaultOhm;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice745x() { return std::make_unique<Dev745x>(); }

}  // namespace yukt::sim
