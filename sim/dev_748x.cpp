// ЮКТ-748x: three 0..20 mA current inputs, each through its own shunt.
//
// Every input carries the current of the calibrator's loop. Command 2 answers
// the three shunt voltages as little-endian 24-bit readings, each a fraction
// of the ADC reference (2^24 codes per reference). The shunts the module
// really has are FLASH parameters 2, 3 and 4.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kReadCommand = 2;
constexpr double kAdcReferenceMv = 2500.0;
constexpr double kFullScale24 = 16777216.0;
constexpr double kDefaultShunts[3] = {99.849, 99.859, 99.855};

class Dev748x final : public SimModule {
  public:
    Dev748x() : SimModule("748x") {
        for (int k = 0; k < 3; ++k) flash().setParam(k + 2, kDefaultShunts[k]);
    }

  private:
    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kReadCommand || !data.empty()) return Reply::refused();
        std::vector<std::uint8_t> out;
        for (int k = 0; k < 3; ++k) {
            const double mv = currentAtChannelMa(k + 1) * paramOr(k + 2, kDefaultShunts[k]);
            const double code = std::round(mv / kAdcReferenceMv * kFullScale24);
            putLe(out, static_cast<std::uint32_t>(std::clamp(code, 0.0, kFullScale24 - 1)), 3);
        }
        return Reply::ok(std::move(out));
    }
};

}  // namespace

std::unique_ptr<SimModule> makeDevice748x() { return std::make_unique<Dev748x>(); }

}  // namespace yukt::sim
