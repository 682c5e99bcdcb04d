#include "modules/tp78x8.h"

namespace yukt {

int Ttp78x8::Apply() {
    if (Mode() == 2) {
        SetError(kErrOk);
        Plan();
        return 0;
    }
    // Outside the calculation mode the last error stands until the set
    // command or the start-up decides on the result.
    setWidth(0.5);
    if (!CanExchange()) return 0;
    const TimingFrame f = Quantise(2);
    // The module does not read byte 5; it goes out as 0.
    const std::uint8_t periods[8] = {static_cast<std::uint8_t>(f.D),
                                     static_cast<std::uint8_t>(f.D >> 8),
                                     static_cast<std::uint8_t>(f.D2),
                                     static_cast<std::uint8_t>(f.D2 >> 8),
                                     0,
                                     0,
                                     static_cast<std::uint8_t>(kFixedWord),
                                     static_cast<std::uint8_t>(kFixedWord >> 8)};
    if (exchange(1, periods, 8) != 0) return -2;
    int cmd;
    if (Mode() == 1)
        cmd = 2;
    else if (Mode() == 0)
        cmd = 4;
    else
        return -1;
    const std::uint8_t spans[6] = {
        static_cast<std::uint8_t>(f.W), static_cast<std::uint8_t>(f.W >> 8),
        static_cast<std::uint8_t>(f.K), static_cast<std::uint8_t>(f.K >> 8),
        static_cast<std::uint8_t>(f.R), static_cast<std::uint8_t>(f.R >> 8)};
    return exchange(cmd, spans, 6);
}

int Ttp78x8::ReadCount() {
    SetError(kErrOk);
    if (Mode() == 0 || Mode() == 1) return readCounters();
    return 0;
}

}  // namespace yukt
