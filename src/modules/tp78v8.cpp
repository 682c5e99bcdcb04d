#include "modules/tp78v8.h"

#include <cmath>

namespace yukt {

namespace {

constexpr int kModeTimes = 6;
constexpr int kModeStop = 7;

// A time in ticks as the module's 24-bit counter takes it.
std::uint32_t ticks24(double us, double ticksPerUs) {
    const double t = std::trunc(us * ticksPerUs);
    if (!(t >= 0)) return 0;
    if (t >= 16777216.0) return static_cast<std::uint32_t>(std::fmod(t, 16777216.0));
    return static_cast<std::uint32_t>(t);
}

}  // namespace

int Ttp78v8::Apply() {
    SetError(kErrOk);
    if (Mode() == 2) {
        Plan();
        return 0;
    }
    if (Mode() != kModeTimes && Mode() != kModeStop) return 0;
    if (!CanExchange()) return 0;
    if (Mode() == kModeStop) return exchange(0, nullptr, 0);
    bool allPositive = true;
    for (double p : m_times) allPositive = allPositive && p > 0;
    if (!allPositive) {
        const std::uint8_t off[1] = {0};
        return exchange(2, off, 1);
    }
    std::uint8_t data[13] = {0};
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t t = ticks24(m_times[i], TicksPerUs());
        data[1 + 3 * i] = static_cast<std::uint8_t>(t);
        data[2 + 3 * i] = static_cast<std::uint8_t>(t >> 8);
        data[3 + 3 * i] = static_cast<std::uint8_t>(t >> 16);
    }
    return exchange(1, data, 13);
}

int Ttp78v8::ReadCount() {
    SetError(kErrOk);
    if (Mode() == 2) return 0;
    if (Mode() == 5) return readSignedCount();
    return readCounters();
}

GeneratorValues Ttp78v8::ReportedValues() const {
    if (Mode() == 5) return GeneratorValues::SignedCount;
    if (Mode() == 2) return GeneratorValues::Planned;
    return GeneratorValues::Measured;
}

}  // namespace yukt
