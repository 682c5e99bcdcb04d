// ЮКТ-735x: frequency, pulse count and time between two events.
//
// Besides the counter channel (dev_735_input.h) it has two event detectors.
// Event 1 is the opening, event 2 the closing of the calibrator's interval
// gate; a detector sees its event only when it happens after the detectors
// were last reset. Command 5 with one byte asks:
//   0  reset the detectors                                  -> no data
//   1  status: bit 0 event 1 seen, bit 2 both pulse edges after it seen,
//      bit 1 event 2 seen, bit 3 both edges after it seen   -> 1 byte
//   2  timer values at event 1 and event 2                  -> 4 + 4 bytes
//   3  low 16 bits of the timer at the first and the next rising edge after
//      event 1, then the same after event 2                 -> 4 x 2 bytes
//   4  whole pulses between the events (up to now while only event 1 is
//      seen)                                                -> 4 bytes

#include <memory>
#include <optional>

#include "sim/dev_735_input.h"

namespace yukt::sim {

namespace {

constexpr int kEvents = 5;

class Dev735x final : public FrequencyInputDevice {
  public:
    Dev735x() : FrequencyInputDevice("735x", 7374.2978) {}

  private:
    struct Detector {
        std::optional<double> event;
        std::optional<double> edgeA, edgeB;
        bool complete() const { return event && edgeB; }
    };

    void onReset() override {
        FrequencyInputDevice::onReset();
        m_armedAt = now();
    }

    Answer onModelCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kEvents || data.size() != 1) return Reply::refused();
        const Detector d1 = detect(physics().gate.open);
        const Detector d2 = detect(physics().gate.close);
        std::vector<std::uint8_t> out;
        switch (data[0]) {
            case 0:
                m_armedAt = now();
                return Reply::ok();
            case 1:
                out.push_back(static_cast<std::uint8_t>((d1.event ? 1 : 0) | (d2.event ? 2 : 0) |
                                                        (d1.complete() ? 4 : 0) |
                                                        (d2.complete() ? 8 : 0)));
                return Reply::ok(out);
            case 2:
                putLe(out, d1.event ? ticksAt(*d1.event) : 0u, 4);
                putLe(out, d2.event ? ticksAt(*d2.event) : 0u, 4);
                return Reply::ok(out);
            case 3:
                for (const Detector* d : {&d1, &d2}) {
                    putLe(out, d->edgeA ? ticksAt(*d->edgeA) & 0xFFFF : 0u, 2);
                    putLe(out, d->edgeB ? ticksAt(*d->edgeB) & 0xFFFF : 0u, 2);
                }
                return Reply::ok(out);
            case 4: {
                std::int64_t pulses = 0;
                if (d1.event)
                    pulses = physics().edgesBetween(*d1.event, d2.event ? *d2.event : now());
                putLe(out, static_cast<std::uint64_t>(pulses) & 0xFFFFFFFFu, 4);
                return Reply::ok(out);
            }
            default:
                return Reply::refused();
        }
    }

    // What a detector has seen of an event at bench time t by now.
    Detector detect(double t) const {
        Detector d;
        const double at = now();
        if (t == kNever || t < m_armedAt || t > at) return d;
        d.event = t;
        // Edges of the output as it was then, whatever the generator does now.
        if (auto a = physics().firstEdgeAfter(t); a && *a <= at) {
            d.edgeA = a;
            if (auto b = physics().firstEdgeAfter(*a); b && *b <= at) d.edgeB = b;
        }
        return d;
    }

    double m_armedAt = 0;
};

}  // namespace

std::unique_ptr<SimModule> makeDevice735x() { return std::make_unique<Dev735x>(); }

}  // namespace yukt::sim
