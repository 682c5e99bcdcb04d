// ЮКТ-747x: three voltage inputs up to 100 mV.
//
// On the bench its inputs measure the calibrator's current loop over a 5 ohm
// resistor each. Command 2 answers the first two voltages as little-endian
// 24-bit readings over the full scale of 16 times the ADC reference, and the
// third as a 16-bit reading on the same scale (bytes 6-7, byte 8 zero).

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kReadCommand = 2;
constexpr double kLoopOhm = 5.0;
constexpr double kAdcReferenceMv = 2500.0;
constexpr double kCodesPerReference = 268435456.0;  // 65536 * 16 * 256

std::uint32_t code(double mv, double max) {
    return static_cast<std::uint32_t>(
        std::clamp(std::round(mv / kAdcReferenceMv * kCodesPerReference), 0.0, max));
}

class Dev747x final : public SimModule {
  public:
    Dev747x() : SimModule("747x") {}

  private:
    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kReadCommand || !data.empty()) return Reply::refused();
        const double mv = currentAtInputMa() * kLoopOhm;
        std::vector<std::uint8_t> out;
        putLe(out, code(mv, 16777215.0), 3);
        putLe(out, code(mv, 16777215.0), 3);
        putLe(out, code(mv, 65535.0), 2);
        out.push_back(0);
        return Reply::ok(std::move(out));
    }
};

}  // namespace

std::unique_ptr<SimModule> makeDevice747x() { return std::make_unique<Dev747x>(); }

}  // namespace yukt::sim
