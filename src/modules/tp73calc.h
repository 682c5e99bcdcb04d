#pragma once
// The arithmetic of the frequency, count and interval modules. The modules
// only count pulses and timer ticks; everything below turns those raw
// counters into frequencies, intervals and request bytes, with no I/O.

#include <array>
#include <cstdint>
#include <string>

namespace yukt {

// Period of the module timer in µs: the timer counts quartz / 4.
inline double TickFromQuartz(double quartzKHz) { return 4000.0 / quartzKHz; }

// Pulse counter and timer value of one channel as last read, with the
// frequency derived from the difference to the read before.
struct CounterChannel {
    std::int32_t FlowCount = 0;
    std::int32_t TimeCount = 0;
    double Frequency = 0;
};

// Result of one counter read: the differences to the previous read (they wrap
// like the module counters) and the quartz estimate they give.
struct CounterStep {
    std::int32_t dP = 0;
    std::int32_t dT = 0;
    double MeasuredQuartzKHz = 0;
};

// Stores pulse counter p and timer value t in the channel, updates its
// frequency and returns the step with the quartz estimate.
CounterStep UpdateCounters(CounterChannel& ch, std::int32_t p, std::int32_t t, double tickUs);

// Quartz frequency (kHz) implied by an exact 1000 Hz or 100 Hz input; 0 when
// the measured frequency lies outside both reference windows.
double QuartzEstimate(double frequency, std::int32_t dP, std::int32_t dT);

// Data bytes X and Y of the output request. Relay bits are set for "off".
std::uint8_t OutputsByteX(int out1, int out2);
std::uint8_t OutputsByteY(int rele1, int rele2);

// A divider d as the module takes it: d / 2 with the integer part as a
// big-endian word and four fraction digits as packed BCD.
std::array<std::uint8_t, 4> EncodeDivider(double d);

// Which event pair completed first; see UpdateEventOrder.
constexpr std::uint8_t kOrderPair1 = 0;
constexpr std::uint8_t kOrderPair2 = 1;
constexpr std::uint8_t kOrderNone = 2;

// The four detector bits: bits 0 and 2 belong to event 1, bits 1 and 3 to
// event 2.
struct EventStatus {
    int S0 = 0, S1 = 0, S2 = 0, S3 = 0;
    bool Pair1() const { return S0 == 1 && S2 == 1; }
    bool Pair2() const { return S1 == 1 && S3 == 1; }
    bool All() const { return Pair1() && Pair2(); }
    bool None() const { return S0 == 0 && S1 == 0 && S2 == 0 && S3 == 0; }
};
EventStatus DecodeEventStatus(std::uint8_t b);
// Keeps the previous order once both pairs are complete, so that it still
// tells which one came first.
std::uint8_t UpdateEventOrder(const EventStatus& s, std::uint8_t previous);

struct EventCapture {
    EventStatus Status;
    std::uint8_t Order = kOrderNone;
    std::int32_t EventTime1 = 0, EventTime2 = 0;
    std::uint16_t Edge1A = 0, Edge1B = 0, Edge2A = 0, Edge2B = 0;
    std::int32_t PulseCount = 0;
};

// Ticks between the two events when both pairs are complete, else 0.
std::int64_t EventInterval(const EventCapture& e);
// Pulses between the events including the fractions of a pulse period before
// each event's first edge.
double FractionalCount(const EventCapture& e);

// Memory texts shown as text: control characters and blanks become "?".
std::string ReplaceControlChars(std::string bytes);

}  // namespace yukt
