// ЮКТ-735d: Q-factor of two resonators. Each memory bank holds the latest
// 18-byte record of a decay measurement: "\", two status bytes, and five
// 24-bit timer captures (lowest byte first) of the decaying oscillation.

#include <array>
#include <memory>

#include "sim/dev_735_input.h"

namespace yukt::sim {

namespace {

std::vector<std::uint8_t> decayRecord(const std::array<std::uint32_t, 5>& captures) {
    std::vector<std::uint8_t> r = {'\\', 0x01, 0x00};
    for (std::uint32_t w : captures) putLe(r, w & 0xFFFFFF, 3);
    return r;
}

}  // namespace

std::unique_ptr<SimModule> makeDevice735d() {
    auto d = std::make_unique<TwoChannelDevice>("735d", 18);
    // Resonator 1 near a one-second decay (a quartz reference); resonator 2
    // a faster one. Captures wrap at 2^24 like the module timer.
    d->bank(1) = decayRecord({100000, 400000, 710000, 1020000, 1335000});
    d->bank(2) = decayRecord({16770000, 2000, 23000, 46000, 70000});
    return d;
}

}  // namespace yukt::sim
