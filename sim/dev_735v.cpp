// ЮКТ-735v: the virtual module for FLASH work. It counts and keeps memory like
// the other two-channel inputs; FLASH pages are not served over the line.

#include <memory>

#include "sim/dev_735_input.h"

namespace yukt::sim {

std::unique_ptr<SimModule> makeDevice735v() {
    auto d = std::make_unique<TwoChannelDevice>("735v", 16);
    const std::string mem1 = "FLASH page 1    ", mem2 = "FLASH page 2    ";
    d->bank(1).assign(mem1.begin(), mem1.end());
    d->bank(2).assign(mem2.begin(), mem2.end());
    return d;
}

}  // namespace yukt::sim
