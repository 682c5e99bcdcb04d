#pragma once
// A verification procedure: the points to set, the permitted error and the
// settling rule, read from a TOML file that a metrologist edits.

#include <optional>
#include <string>
#include <vector>

#include "verify/point_result.h"
#include "verify/point_table.h"

namespace yukt::verify {

struct Settling {
    double delayS = 1;     // after setting the reference, before the first reading
    int agree = 3;         // consecutive readings that must agree ...
    double band = 0;       // ... within this band (max - min), in the quantity's unit
    double timeoutS = 30;  // from the end of the delay until settled
    int readings = 3;      // readings kept; the point's value is their mean
    // The band may also be stated in % of the value or in steps of the
    // module's resolution at the point; the widest of the three holds, and
    // readings one resolution step apart always agree.
    double bandRel = 0;
    double bandSteps = 0;
};

struct Procedure {
    std::string file;
    std::string title;
    std::string doc;         // methodology document
    std::vector<int> kinds;  // module kinds it applies to
    int channel = 0;         // channel item of the page's selector
    Quantity quantity = Quantity::Current;
    std::vector<double> points;  // in run order (both directions expanded)
    ErrorKind errorKind = ErrorKind::Abs;
    double limit = 0;
    double range = 0;        // of the reduced error
    double frequencyHz = 0;  // Count: the frequency of the pulses
    double safeValue = 0;    // Current/GeneratorCurrent: left on the generator at the end
    Settling settling;
};

// A mistake in a procedure file: where it is and what is wrong.
struct ProcedureError {
    std::string file;
    int line = 0;  // 0 when the mistake has no line (a missing key)
    std::string key;
    std::string message;
    // "FILE:LINE: KEY: MESSAGE" (": LINE" left out when 0)
    std::string Text() const;
};

// Reads and checks a procedure completely; on any mistake returns nothing
// and fills `error`.
std::optional<Procedure> LoadProcedure(const std::string& path, ProcedureError& error);
std::optional<Procedure> ParseProcedure(const std::string& text, const std::string& file,
                                        ProcedureError& error);

// Why the reference cannot produce `v` of the quantity (empty when it can);
// `frequencyHz` is the pulse frequency of a count.
std::string PointProblem(Quantity q, double v, double frequencyHz);

// The quantity's name in procedure files ("current", "frequency" ...).
const char* QuantityWord(Quantity q);
// The quantity a word of the files names.
std::optional<Quantity> QuantityFromWord(const std::string& word);
// Its unit for output ("мА", "Гц" ...).
const char* QuantityUnit(Quantity q);

}  // namespace yukt::verify
