#include "modules/tp73xx.h"

#include <array>
#include <vector>

#include "modules/tp73link.h"

namespace yukt {

Ttp73xx::Ttp73xx(ModuleContext& ctx) : Ttp73Base(ctx, 7374.2978, 1, 1) {}

int Ttp73xx::ReadCounters() {
    std::vector<std::uint8_t> answer;
    const int rc = ExchangeFrame(*this, cmd73::kChannel1, {}, answer, 8);
    if (rc < 0) return rc;
    const CounterStep step = UpdateCounters(m_counters, Le32(answer, 0), Le32(answer, 4), TickUs());
    SetMeasuredQuartz(step.MeasuredQuartzKHz);
    return rc;
}

int Ttp73xx::EventRequest(int type) {
    // Bytes of the answer each type uses: reset 0, status 1, times 8, edges 8, count 4.
    static constexpr std::array<std::size_t, 5> kAnswerBytes = {0, 1, 8, 8, 4};
    if (type < 0 || type > 4) return -1;
    const std::array<std::uint8_t, 1> request = {static_cast<std::uint8_t>(type)};
    std::vector<std::uint8_t> answer;
    const int rc = ExchangeFrame(*this, cmd73::kEvents, request, answer, kAnswerBytes[type]);
    if (rc < 0) return rc;
    switch (type) {
        case 1:
            m_events.Status = DecodeEventStatus(answer[0]);
            m_events.Order = UpdateEventOrder(m_events.Status, m_events.Order);
            break;
        case 2:
            m_events.EventTime1 = Le32(answer, 0);
            m_events.EventTime2 = Le32(answer, 4);
            break;
        case 3:
            m_events.Edge1A = Le16(answer, 0);
            m_events.Edge1B = Le16(answer, 2);
            m_events.Edge2A = Le16(answer, 4);
            m_events.Edge2B = Le16(answer, 6);
            break;
        case 4:
            m_events.PulseCount = Le32(answer, 0);
            break;
        default:
            break;
    }
    return rc;
}

}  // namespace yukt
