// ЮКТ-746x: a thermocouple input with an RTD at its cold junction.
//
// Command 2 answers three little-endian 24-bit readings: the reference
// resistor and the cold-junction RTD (both as the same excitation current
// times the resistance, the RTD being the bench's), then the thermocouple EMF
// as a fraction of the ADC reference over 16 (65536 * 16 codes per
// reference). The EMF at the terminals is FLASH parameter 3 in mV (0 when not
// set); the reference resistor is parameter 5.

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kReadCommand = 2;
constexpr double kCodesPerOhm = 32768.0;
constexpr double kFullScale24 = 16777216.0;
constexpr double kAdcReferenceMv = 2500.0;
constexpr double kDefaultOhm = 100.0;

std::uint32_t code24(double value) {
    return static_cast<std::uint32_t>(std::clamp(std::round(value), 0.0, kFullScale24 - 1));
}

class Dev746x final : public SimModule {
  public:
    Dev746x() : SimModule("746x") { flash().setParam(5, kDefaultOhm); }

  private:
    void onReset() override {
        m_referenceOhm = paramOr(5, kDefaultOhm);
        m_emfMv = paramOr(3, 0.0);
    }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kReadCommand || !data.empty()) return Reply::refused();
        std::vector<std::uint8_t> out;
        putLe(out, code24(m_referenceOhm * kCodesPerOhm), 3);
        putLe(out, code24(physics().rtdOhm * kCodesPerOhm), 3);
        putLe(out, code24(m_emfMv / kAdcReferenceMv * 65536.0 * 16.0), 3);
        return Reply::ok(std::move(out));
    }

    double m_referenceOhm = kDefaultOhm;
    double m_emfMv = 0.0;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice746x() { return std::make_unique<Dev746x>(); }

}  // namespace yukt::sim
