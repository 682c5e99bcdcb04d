// ЮКТ-787x: current/voltage generator.
//
// Command 1 with seven bytes: the mode byte, the 16-bit DAC code (little
// endian), a step count and a third word that the generator takes but needs
// not. The output is the code's share of the mode's full scale. The
// calibrator's generator drives the inputs under test; a generator under test
// drives the calibrator's meter.

#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kSetCommand = 1;
constexpr std::size_t kSetLength = 7;

class Dev787x final : public SimModule {
  public:
    Dev787x() : SimModule("787x") {}

  private:
    void onReset() override { drive(0.0); }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kSetCommand || data.size() != kSetLength) return Reply::refused();
        const double share = static_cast<double>(getLe(data, 1, 2)) / 65535.0;
        switch (data[0]) {
            case 0x00:  // voltage 0..5000 mV: no current in the loop
                drive(0.0);
                break;
            case 0x01:
                drive(4.0 + 16.0 * share);
                break;
            case 0x02:
                drive(20.0 * share);
                break;
            case 0x03:
            case 0x13:
            case 0x23:
            case 0x43:
                drive(24.0 * share);
                break;
            case 0x04:  // CLEAR
                drive(0.0);
                break;
            default:
                return Reply::refused();
        }
        return Reply::ok();
    }

    void drive(double mA) {
        if (role() == Role::Generator) physics().generatorCurrentMa = mA;
        if (role() == Role::UnderTest || role() == Role::SecondUnderTest)
            physics().underTestCurrentMa = mA;
    }
};

}  // namespace

std::unique_ptr<SimModule> makeDevice787x() { return std::make_unique<Dev787x>(); }

}  // namespace yukt::sim
