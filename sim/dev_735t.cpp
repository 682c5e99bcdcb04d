// ЮКТ-735t: frequency on two channels, dividers and translators, two memory
// banks of 16 characters (requests in dev_735_input.h).

#include <memory>

#include "sim/dev_735_input.h"

namespace yukt::sim {

std::unique_ptr<SimModule> makeDevice735t() {
    auto d = std::make_unique<TwoChannelDevice>("735t", 16);
    const std::string mem1 = "735t bank 1     ", mem2 = "735t bank 2     ";
    d->bank(1).assign(mem1.begin(), mem1.end());
    d->bank(2).assign(mem2.begin(), mem2.end());
    return d;
}

}  // namespace yukt::sim
