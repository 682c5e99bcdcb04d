#pragma once
// What the modules on the simulated bench share physically: the current loop
// of the calibrator's generator, the RTD at the resistance inputs, and the
// pulse output of the calibrator's frequency generator. Plain settable state:
// the reference generators write it when they are programmed, the inputs read
// it when they are polled, and tests may set it directly.

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace yukt::sim {

inline constexpr double kNever = std::numeric_limits<double>::infinity();

// A pulse train on the generator output, in bench seconds. Rising edges come
// at firstEdge + k * period (k = 0, 1, ...) as long as they are before end;
// each pulse stays high for width.
struct PulseTrain {
    double firstEdge = 0.0;
    double period = 0.0;  // 0: no pulses at all
    double width = 0.0;
    double end = kNever;

    bool running() const { return period > 0.0; }
    double frequencyHz() const { return period > 0.0 ? 1.0 / period : 0.0; }
    // Rising edges e with from < e <= to.
    std::int64_t edgesBetween(double from, double to) const;
    // Rising edges e <= t since the train began.
    std::int64_t edgesUpTo(double t) const;
    // The last rising edge at or before t.
    std::optional<double> lastEdgeAtOrBefore(double t) const;
    // The first rising edge strictly after t.
    std::optional<double> firstEdgeAfter(double t) const;

    bool operator==(const PulseTrain&) const = default;
};

// The trains a generator put out before its current one, each cut where the
// next began: what went out on the line stays as it went out, so that an
// input's counter never runs backwards and the pulses around its latched
// events do not change when the generator is programmed anew.
struct PulseHistory {
    // Trains kept for queries into the past; older ones only count.
    static constexpr std::size_t kKeptTrains = 64;

    std::vector<PulseTrain> trains;  // oldest first, each ending at or before the next
    std::int64_t foldedEdges = 0;    // edges of the trains no longer kept

    // Ends `train` at `at` (if it ran longer) and keeps what it put out.
    void add(PulseTrain train, double at);
};

// The whole output of a generator: its history and its current train.
std::int64_t edgesUpTo(const PulseHistory& past, const PulseTrain& current, double t);
std::int64_t edgesBetween(const PulseHistory& past, const PulseTrain& current, double from,
                          double to);
std::optional<double> lastEdgeAtOrBefore(const PulseHistory& past, const PulseTrain& current,
                                         double t);
std::optional<double> firstEdgeAfter(const PulseHistory& past, const PulseTrain& current,
                                     double t);

// The gate of the generator's last interval: the event detectors of an
// interval input fire at its opening (detector 1) and closing (detector 2).
struct Gate {
    double open = kNever;
    double close = kNever;
    bool armed() const { return open != kNever; }
};

// A burst that counts generator pulses during a number of control pulses
// coming back from the module under test (its divider or translator output).
struct Burst {
    bool active = false;
    double start = 0.0;     // bench time the burst was started
    int preset = 0;         // control pulses to wait before counting
    int controlPulses = 0;  // control pulses to count over
};

struct Physics {
    // Current the calibrator's generator drives into the inputs under test, mA.
    double generatorCurrentMa = 0.0;
    // Current of a generator under test; when set, it is what the meter sees.
    std::optional<double> underTestCurrentMa;
    // Added to every current an input measures, mA: the error to be found.
    double currentErrorMa = 0.0;
    // Added besides to the current one input channel measures, by channel
    // of a multi-channel input from 1: a single bad channel.
    std::map<int, double> channelErrorMa;
    // Resistance at the RTD terminals of the resistance inputs, ohm.
    double rtdOhm = 100.0;

    // Output of the calibrator's frequency generator: the current train and
    // the trains before it. Inputs ask the whole output (below).
    PulseTrain pulses;
    PulseHistory pastPulses;
    Gate gate;
    Burst burst;
    // Generator pulses per control pulse returned by the module under test:
    // its divider (or 1 for a translator); 0 when nothing comes back.
    double feedbackDivider = 0.0;

    // The generator's whole output, past trains included.
    std::int64_t edgesUpTo(double t) const { return sim::edgesUpTo(pastPulses, pulses, t); }
    std::int64_t edgesBetween(double from, double to) const {
        return sim::edgesBetween(pastPulses, pulses, from, to);
    }
    std::optional<double> lastEdgeAtOrBefore(double t) const {
        return sim::lastEdgeAtOrBefore(pastPulses, pulses, t);
    }
    std::optional<double> firstEdgeAfter(double t) const {
        return sim::firstEdgeAfter(pastPulses, pulses, t);
    }

    // Current seen by an input under test (by channel `channel` from 1 of a
    // multi-channel input; 0: an input of one channel).
    double inputCurrentMa(int channel = 0) const {
        const auto own = channelErrorMa.find(channel);
        return generatorCurrentMa + currentErrorMa +
               (own == channelErrorMa.end() ? 0.0 : own->second);
    }
    // Current seen by the calibrator's meter.
    double meterCurrentMa() const {
        return underTestCurrentMa.value_or(generatorCurrentMa) + currentErrorMa;
    }
};

}  // namespace yukt::sim
