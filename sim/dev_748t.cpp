// ЮКТ-748t: sixteen 0..20 mA current inputs.
//
// Every input carries the current of the calibrator's loop over a shunt of
// FLASH parameter 2 (channels 1..8) or 3 (channels 9..16). Command 2 answers
// channels 1..8 and command 3 channels 9..16, eight little-endian 16-bit
// words each whose low 12 bits are the shunt voltage as a fraction of the ADC
// reference (4096 codes per reference).

#include <algorithm>
#include <cmath>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kFirstHalfCommand = 2;
constexpr int kSecondHalfCommand = 3;
constexpr double kAdcReferenceMv = 2500.0;
constexpr double kFullScale12 = 4096.0;
constexpr double kDefaultShunt = 99.849;

class Dev748t final : public SimModule {
  public:
    Dev748t() : SimModule("748t") {
        flash().setParam(2, kDefaultShunt);
        flash().setParam(3, kDefaultShunt);
    }

  private:
    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (!data.empty() || (command != kFirstHalfCommand && command != kSecondHalfCommand))
            return Reply::refused();
        const double shunt = paramOr(command == kFirstHalfCommand ? 2 : 3, kDefaultShunt);
        const int firstChannel = command == kFirstHalfCommand ? 1 : 9;
        std::vector<std::uint8_t> out;
        for (int k = 0; k < 8; ++k) {
            const double mv = currentAtChannelMa(firstChannel + k) * shunt;
            const double code =
                std::clamp(std::round(mv / kAdcReferenceMv * kFullScale12), 0.0, kFullScale12 - 1);
            putLe(out, static_cast<std::uint32_t>(code), 2);
        }
        return Reply::ok(std::move(out));
    }
};

}  // namespace

std::unique_ptr<SimModule> makeDevice748t() { return std::make_unique<Dev748t>(); }

}  // namespace yukt::sim
