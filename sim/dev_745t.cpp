// ЮКТ-745t: one RTD channel and one current channel through a shunt.
//
// Command 2 answers three little-endian 24-bit readings: the reference
// resistor, the measured resistor (both as the same excitation current times
// the resistance), and the voltage over the shunt as a fraction of the ADC
// reference. The resistor and shunt values the module really has are the
// ones its FLASH keeps (parameters 5 and 2), so a workstation that copies them
// into its configuration reads resistance and current back exactly.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kReadCommand = 2;
constexpr double kCodesPerOhm = 32768.0;  // 512 ohm fills the 24-bit range
constexpr double kAdcReferenceMv = 2500.0;
constexpr double kFullScale24 = 16777216.0;
constexpr double kDefaultOhm = 100.0;

std::uint32_t code24(double value) {
    return static_cast<std::uint32_t>(std::clamp(std::round(value), 0.0, kFullScale24 - 1));
}

class Dev745t final : public SimModule {
  public:
    Dev745t() : SimModule("745t") {
        flash().setParam(2, kDefaultOhm);
        flash().setParam(5, kDefaultOhm);
    }

  private:
    void onReset() override {
        m_shuntOhm = paramOr(2, kDefaultOhm);
        m_referenceOhm = paramOr(5, kDefaultOhm);
    }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kReadCommand || !data.empty()) return Reply::refused();
        const double shuntMv = currentAtInputMa() * m_shuntOhm;
        std::vector<std::uint8_t> out;
        putLe(out, code24(m_referenceOhm * kCodesPerOhm), 3);
        putLe(out, code24(physics().rtdOhm * kCodesPerOhm), 3);
        putLe(out, code24(shuntMv / kAdcReferenceMv * kFullScale24), 3);
        return Reply::ok(std::move(out));
    }

    double m_shuntOhm = kDefaultOhm;
    double m_referenceOhm = kDefaultOhm;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice745t() { return std::make_unique<Dev745t>(); }

}  // namespace yukt::sim
