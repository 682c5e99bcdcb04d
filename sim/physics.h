#pragma once
// What the modules on the simulated bench share physically: the current loop
// of the calibrator's generator, the RTD at the resistance inputs, and the
// pulse output of the calibrator's frequency generator. Plain settable state:
// the reference generators write it when they are programmed, the inputs read
// it when they are polled, and tests may set it directly.

#include <cstdint>
#include <limits>
#include <optional>

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
};

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
    // Resistance at the RTD terminals of the resistance inputs, ohm.
    double rtdOhm = 100.0;

    // Output of the calibrator's frequency generator.
    PulseTrain pulses;
    Gate gate;
    Burst burst;
    // Generator pulses per control pulse returned by the module under test:
    // its divider (or 1 for a translator); 0 when nothing comes back.
    double feedbackDivider = 0.0;

    // Current seen by an input under test.
    double inputCurrentMa() const { return generatorCurrentMa + currentErrorMa; }
    // Current seen by the calibrator's meter.
    double meterCurrentMa() const {
        return underTestCurrentMa.value_or(generatorCurrentMa) + currentErrorMa;
    }
};

}  // namespace yukt::sim
