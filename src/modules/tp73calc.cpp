#include "modules/tp73calc.h"

#include <cmath>
#include <cstdlib>

namespace yukt {

namespace {

// The module counters are 32-bit and wrap; differences are taken the same way.
std::int32_t wrappedDiff(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int32_t wrappedTimes(std::int32_t a, std::int32_t factor) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) *
                                     static_cast<std::uint32_t>(factor));
}

// Fraction of a pulse period between the event and the first edge after it.
double edgeFraction(std::uint16_t edgeA, std::uint16_t edgeB, std::int32_t eventTime) {
    std::uint16_t period = static_cast<std::uint16_t>(edgeB - edgeA);
    if (period == 0) period = 65535;  // equal edges: no division by zero
    const auto lead = static_cast<std::uint16_t>(edgeA - static_cast<std::uint16_t>(eventTime));
    return static_cast<double>(lead) / period;
}

}  // namespace

CounterStep UpdateCounters(CounterChannel& ch, std::int32_t p, std::int32_t t, double tickUs) {
    CounterStep step;
    step.dT = wrappedDiff(t, ch.TimeCount);
    step.dP = wrappedDiff(p, ch.FlowCount);
    ch.TimeCount = t;
    ch.FlowCount = p;
    if (step.dT == 0 || step.dP == 0) {
        ch.Frequency = 0;
    } else {
        const double periodUs = static_cast<double>(step.dT) / step.dP * tickUs;
        ch.Frequency = 1000000.0 / periodUs;
    }
    step.MeasuredQuartzKHz = QuartzEstimate(ch.Frequency, step.dP, step.dT);
    return step;
}

double QuartzEstimate(double frequency, std::int32_t dP, std::int32_t dT) {
    if (dT == 0) return 0;
    double k = 0;
    if (frequency >= 990 && frequency <= 1100)
        k = static_cast<double>(wrappedTimes(dP, 1000)) / dT;
    else if (frequency >= 90 && frequency <= 110)
        k = static_cast<double>(wrappedTimes(dP, 10000)) / dT;
    return k != 0 ? 4000.0 / k : 0.0;
}

std::uint8_t OutputsByteX(int out1, int out2) {
    return static_cast<std::uint8_t>(0x3F + (out1 == 1 ? 0x40 : 0) + (out2 == 1 ? 0x80 : 0));
}

std::uint8_t OutputsByteY(int rele1, int rele2) {
    return static_cast<std::uint8_t>(0x3F + (rele1 == 0 ? 0x40 : 0) + (rele2 == 0 ? 0x80 : 0));
}

std::array<std::uint8_t, 4> EncodeDivider(double d) {
    // The module holds d / 2 as a 16-bit whole part and four BCD digits. A
    // value it cannot hold is clamped rather than sent as wrapped or
    // non-decimal bytes: negative (or not a number) as 0, too large as the
    // largest value.
    double h = d / 2;
    if (!(h > 0)) h = 0;
    if (h >= 65536) h = 65535.99995;
    const auto whole = static_cast<std::uint32_t>(std::trunc(h));
    auto digits = static_cast<std::uint32_t>(std::trunc((h - std::trunc(h)) * 10000));
    if (digits > 9999) digits = 9999;
    const std::uint32_t d1000 = digits / 1000, d100 = digits / 100 % 10, d10 = digits / 10 % 10,
                        d1 = digits % 10;
    return {static_cast<std::uint8_t>(whole >> 8), static_cast<std::uint8_t>(whole & 0xFF),
            static_cast<std::uint8_t>(d1000 * 16 + d100), static_cast<std::uint8_t>(d10 * 16 + d1)};
}

EventStatus DecodeEventStatus(std::uint8_t b) {
    return EventStatus{b & 1, (b >> 1) & 1, (b >> 2) & 1, (b >> 3) & 1};
}

std::uint8_t UpdateEventOrder(const EventStatus& s, std::uint8_t previous) {
    if (s.Pair1() && !s.Pair2()) return kOrderPair1;
    if (s.Pair2() && !s.Pair1()) return kOrderPair2;
    if (s.None()) return kOrderNone;
    return previous;
}

std::int64_t EventInterval(const EventCapture& e) {
    if (!e.Status.All()) return 0;
    return std::llabs(static_cast<long long>(wrappedDiff(e.EventTime2, e.EventTime1)));
}

double FractionalCount(const EventCapture& e) {
    if (e.Status.None()) return 0;
    if (!e.Status.All()) return e.PulseCount > 0 ? e.PulseCount - 1 : 0;
    const double f1 = edgeFraction(e.Edge1A, e.Edge1B, e.EventTime1);
    const double f2 = edgeFraction(e.Edge2A, e.Edge2B, e.EventTime2);
    return e.Order == kOrderPair1 ? e.PulseCount + f1 - f2 : e.PulseCount + f2 - f1;
}

std::string ReplaceControlChars(std::string bytes) {
    for (char& c : bytes)
        if (static_cast<unsigned char>(c) <= 32) c = '?';
    return bytes;
}

}  // namespace yukt
