#pragma once
// A methodology (методика поверки): one file per module model and revision
// naming the operations a laboratory performs, in order, with one set of
// tolerances, settling rules and the reference's permitted errors.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "verify/point_result.h"
#include "verify/point_table.h"
#include "verify/procedure.h"

namespace yukt::verify {

enum class ToleranceKind {
    Abs,     // ±a, in the quantity's unit
    Rel,     // ±a % of the reference
    Reduced, // ±a % of the span [spanLow, spanHigh]
    AbsRel,  // ±(a + b·|x|), in the quantity's unit
};

struct Tolerance {
    std::string name;
    ToleranceKind kind = ToleranceKind::Abs;
    double a = 0;  // the limit (abs, rel, reduced) or the constant part (abs+rel)
    double b = 0;  // abs+rel: the part proportional to |x|
    double spanLow = 0, spanHigh = 0;  // reduced
    double resolution = 0;  // the error is rounded to this before it is judged (> 0)
};

// How a point is decided: "simple" (|Δ| ≤ limit) or "guard" (|Δ| + U ≤
// limit); `marginal` (0: off) marks a pass with |Δ| > marginal × limit.
enum class DecisionKind { Simple, Guard };
struct DecisionRule {
    DecisionKind kind = DecisionKind::Simple;
    double marginal = 0;
};

// What the reference (the calibrator) may be off by, per quantity it supplies.
struct ReferenceError {
    Quantity quantity = Quantity::Current;
    Tolerance tolerance;
};

enum class OperationKind { Inspection, Functional, Software, Error };
enum class Connection { Series, PerChannel };

// Other points or another tolerance for some channels of an error operation.
struct ChannelOverride {
    std::vector<int> channels;  // physical, from 1
    std::vector<double> points; // empty: the operation's
    std::string tolerance;      // empty: the operation's
};

struct Operation {
    std::string id;     // the clause of the methodology, "5.4"
    std::string title;
    OperationKind kind = OperationKind::Error;
    int line = 0;       // where it starts in the file, for messages
    // Software: the versions accepted (the digits of the designation's
    // version and/or the identification text's version).
    std::vector<std::string> acceptedVersions;
    // Error:
    Quantity quantity = Quantity::Current;
    std::vector<int> channels;   // physical, as printed on the module, from 1
    std::vector<double> points;  // in run order
    std::string tolerance;       // name in Methodology::tolerances
    std::string settling;        // name in Methodology::settlings
    Connection connection = Connection::Series;
    double frequencyHz = 0;      // Count: the frequency of the pulses
    double safeValue = 0;        // left on the generator at the end
    std::vector<ChannelOverride> overrides;
};

struct Methodology {
    std::string file;
    std::string sha256;   // of the file's bytes as read, hex
    std::string id;       // "МП 001-2026"
    int revision = 0;
    std::string title;
    std::vector<std::string> models;  // "748t", "745t+748x" ...
    int intervalMonths = 12;
    std::map<std::string, Tolerance> tolerances;
    std::map<std::string, Settling> settlings;
    std::vector<ReferenceError> reference;
    double minRatio = 3;
    std::vector<Operation> operations;
    DecisionRule decision;
};

// Reads and checks a methodology completely (including the reference ratio at
// every point); on any mistake returns nothing and fills `error` with
// "file:line: key: message". A round-2 procedure file is read as a
// methodology of one error operation.
std::optional<Methodology> LoadMethodology(const std::string& path, ProcedureError& error);
std::optional<Methodology> ParseMethodology(const std::string& text, const std::string& file,
                                            ProcedureError& error);

// A round-2 procedure as a methodology of one error operation (no
// reference, so no ratio; the error kept to three digits below the limit).
Methodology MethodologyOfProcedure(const Procedure& p);

// The kind of a model code ("748t" -> 3), -1 when it is not verified.
int KindOfModel(const std::string& model);
// "1-16", "1,3", "1-4, 9" as channel numbers in that order; empty when the
// text is not such a list.
std::vector<int> ParseChannelList(const std::string& text);
// What a tolerance permits at `x`, in the quantity's unit.
double PermittedError(const Tolerance& t, double x);

// The points and tolerance of one channel of an error operation, overrides
// applied.
struct ChannelSpec {
    std::vector<double> points;
    const Tolerance* tolerance = nullptr;
};
ChannelSpec SpecOf(const Methodology& m, const Operation& op, int channel);

const char* ToleranceKindWord(ToleranceKind kind);  // "abs", "rel", "reduced", "abs+rel"
const char* OperationKindWord(OperationKind kind);  // "inspection", "functional", "software", "error"

}  // namespace yukt::verify
