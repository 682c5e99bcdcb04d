// ЮКТ-787d: four 0..24 mA current outputs, one per channel.
//
// Command 1 with two bytes sets one channel: the channel index 0..3 in the
// upper nibble of the first byte, then a 12-bit DAC value (24 mA full scale).
// Command 2 without data resets the DAC (all outputs 0). Channel 1 is the
// output wired to the bench's loop: as the module under test it drives the
// calibrator's meter.

#include <array>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kChannelCommand = 1;
constexpr int kDacResetCommand = 2;
constexpr double kFullScaleMa = 24.0;

class Dev787d final : public SimModule {
  public:
    Dev787d() : SimModule("787d") {}

  private:
    void onReset() override { resetOutputs(); }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command == kDacResetCommand && data.empty()) {
            resetOutputs();
            return Reply::ok();
        }
        if (command != kChannelCommand || data.size() != 2) return Reply::refused();
        const unsigned word = (static_cast<unsigned>(data[0]) << 8) | data[1];
        const unsigned channel = word >> 12;
        if (channel > 3) return Reply::refused();
        m_outputsMa[channel] = static_cast<double>(word & 0x0FFF) / 4095.0 * kFullScaleMa;
        if (channel == 0) drive(m_outputsMa[0]);
        return Reply::ok();
    }

    void resetOutputs() {
        m_outputsMa.fill(0.0);
        drive(0.0);
    }

    void drive(double mA) {
        if (role() == Role::UnderTest || role() == Role::SecondUnderTest)
            physics().underTestCurrentMa = mA;
        if (role() == Role::Generator) physics().generatorCurrentMa = mA;
    }

    std::array<double, 4> m_outputsMa{};
};

}  // namespace

std::unique_ptr<SimModule> makeDevice787d() { return std::make_unique<Dev787d>(); }

}  // namespace yukt::sim
