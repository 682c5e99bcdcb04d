#pragma once
// The frequency, pulse-count and event-interval input: one counter channel
// plus two event detectors whose times, first edges and pulse count give the
// interval between two events and the number of pulses between them.

#include <cstdint>

#include "modules/tp73base.h"
#include "modules/tp73calc.h"

namespace yukt {

class Ttp73xx : public Ttp73Base {
  public:
    explicit Ttp73xx(ModuleContext& ctx);

    void SetOut1(int v) { SetOut1Checked(v); }
    void SetOut2(int v) { SetOut2Checked(v); }

    std::int32_t EventTime1() const { return m_events.EventTime1; }
    std::int32_t EventTime2() const { return m_events.EventTime2; }
    std::uint16_t Edge1A() const { return m_events.Edge1A; }
    std::uint16_t Edge1B() const { return m_events.Edge1B; }
    std::uint16_t Edge2A() const { return m_events.Edge2A; }
    std::uint16_t Edge2B() const { return m_events.Edge2B; }
    std::int32_t PulseCount() const { return m_events.PulseCount; }
    int Status0() const { return m_events.Status.S0; }
    int Status1() const { return m_events.Status.S1; }
    int Status2() const { return m_events.Status.S2; }
    int Status3() const { return m_events.Status.S3; }
    std::uint8_t EventOrder() const { return m_events.Order; }
    double Frequency() const { return m_counters.Frequency; }
    std::int32_t FlowCount() const { return m_counters.FlowCount; }
    std::int32_t TimeCount() const { return m_counters.TimeCount; }

    // Pulse counter and timer (command 3): frequency and quartz estimate.
    int ReadCounters();
    // The event request (command 5) with its type 0..4; the named forms below.
    int EventRequest(int type);
    int ResetDetectors() { return EventRequest(0); }
    int ReadEventStatus() { return EventRequest(1); }
    int ReadEventTimes() { return EventRequest(2); }
    int ReadEdgeTimes() { return EventRequest(3); }
    int ReadPulseCount() { return EventRequest(4); }

    int Channel1Ready() const { return m_events.Status.Pair1() ? 1 : 0; }
    int Channel2Ready() const { return m_events.Status.Pair2() ? 1 : 0; }
    // Ticks between the events once both are complete, else 0.
    std::int64_t EventInterval() const { return yukt::EventInterval(m_events); }
    double FractionalCount() const { return yukt::FractionalCount(m_events); }

  private:
    CounterChannel m_counters;
    EventCapture m_events;
};

}  // namespace yukt
