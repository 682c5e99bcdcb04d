// ЮКТ-735r: the two-channel input of an ultrasonic flowmeter. The two
// channels count the transducer pulses (here the calibrator's generator
// output); the PC derives the time of flight from two polls.

#include <memory>

#include "sim/dev_735_input.h"

namespace yukt::sim {

std::unique_ptr<SimModule> makeDevice735r() {
    auto d = std::make_unique<TwoChannelDevice>("735r", 16);
    const std::string mem = "735r flowmeter  ";
    d->bank(1).assign(mem.begin(), mem.end());
    d->bank(2).assign(mem.begin(), mem.end());
    return d;
}

}  // namespace yukt::sim
