#pragma once
// The plan of one verification: every item the methodology asks of the
// identified module, in order, with tolerance and settling resolved; and the
// attempts at it, of which the latest per item counts.

#include <optional>
#include <string>
#include <vector>

#include "verify/methodology.h"

namespace yukt::verify {

struct PlanItem {
    int item = 0;              // from 1, in plan order
    std::string operation;     // Operation::id
    std::string title;         // Operation::title
    OperationKind kind = OperationKind::Error;
    int channel = 0;           // physical, from 1; 0 for operations on the module
    Quantity quantity = Quantity::Current;
    double nominal = 0;
    Tolerance tolerance;       // resolved (error items)
    Settling settling;         // resolved (error items)
    Connection connection = Connection::Series;
    double refRatio = 0;       // module's permitted error / reference's, at this point
                               // (0: the methodology names no reference)
    double referenceError = 0; // the reference's permitted error at this point, quantity's unit
    double frequencyHz = 0;    // Count: the frequency of the pulses
    double safeValue = 0;      // left on the generator when the operation ends
    std::vector<std::string> acceptedVersions;  // software items
};

struct Plan {
    std::string methodologyId;
    int revision = 0;
    std::string sha256;
    int intervalMonths = 0;    // the methodology's verification interval
    std::string model;         // of the identified module
    int kind = 0;              // module kind under test
    std::vector<PlanItem> items;
    DecisionRule decision;     // the methodology's
};

// What the plan needs to know of the module that was identified.
struct ModuleUnderTest {
    std::string model;         // "748t", "745t+748x" ...
    int kind = 0;
    int channels = 0;          // physical channels of the quantity's input, 0: as the model has
};

// The plan of a methodology for a module; nothing (with `error`) when the
// methodology does not apply to the module.
std::optional<Plan> Expand(const Methodology& m, const ModuleUnderTest& module, std::string& error);
// A per-channel procedure's plan for a module of `kind`: its methodology
// (MethodologyOfProcedure) expanded; nothing (with `error`) when the
// procedure is not for that kind of module.
std::optional<Plan> PlanOfProcedure(const Procedure& p, int kind, std::string& error);
// The items of some physical channels only (the page's "Автоповерка",
// `--channels`); operations on the module are kept.
Plan FilterChannels(const Plan& plan, const std::vector<int>& channels);

// What the points of one error operation span: their nominal values and
// their largest permitted error, in the unit of the error (a chart is framed
// once for all of them).
struct ErrorSpan {
    double nominalMin = 0, nominalMax = 0, limitMax = 0;
};
std::optional<ErrorSpan> SpanOf(const Plan& plan, const std::string& operation);

// One measurement (or answer) for a plan item. A later measured attempt at
// the same item supersedes the earlier one; one that was not measured
// (stopped, cancelled, never settled) supersedes only another unmeasured
// one, so a failure gives way to a measurement alone. All stay in the
// history.
struct Attempt {
    int item = 0;
    int number = 1;            // 1.. per item
    PointResult point;         // error items: the judged point
    PointVerdict result = PointVerdict::NotMeasured;
    std::string remark;        // manual operations, or why not measured
    std::string found;         // software: the identification found
};

// The error of a reading against the reference, rounded half away from zero
// to the tolerance's resolution; that rounded value is compared with the
// limit (|error| <= limit passes) and is what every consumer stores and shows.
struct Judgement {
    double error = 0;   // rounded, in the unit of the tolerance kind
    double limit = 0;   // at this point (abs+rel: a + b·|x|)
    PointVerdict result = PointVerdict::NotMeasured;
};
Judgement JudgePoint(const Tolerance& tol, double reference, double measured);
// The limit a point's error is judged against, in the unit of its error
// kind: "%" for rel and reduced, the quantity's unit for abs and abs+rel
// (a + b·|x|). What JudgePoint compares with, and what a chart or a cell
// shows before the point is measured (x: the reference, or the nominal).
double LimitAt(const Tolerance& tol, double x);
// The unit an error of that kind is shown in: "%" for rel and reduced, the
// quantity's unit otherwise ("" for a ratio).
const char* ErrorUnit(ErrorKind kind, Quantity q);
const char* ErrorUnit(ToleranceKind kind, Quantity q);
// The kind a point result reports for a tolerance of that kind.
ErrorKind ErrorKindOf(ToleranceKind kind);
double RoundToResolution(double value, double resolution);

// "не годен" when any counting attempt failed; "прервано" when none failed
// and some item has no measured attempt; "годен" only when every item passed.
VerdictResult Verdict(const Plan& plan, const std::vector<Attempt>& attempts);
// True when `later` takes the place of `earlier` (same item): a measured
// attempt over an unmeasured one whatever their order, else the higher
// number. The one rule every reader of attempts applies.
bool Supersedes(const Attempt& later, const Attempt& earlier);
// The attempt that counts per item (nullptr where none): the latest
// measured one, or the latest of all when none was measured.
std::vector<const Attempt*> LatestAttempts(const Plan& plan, const std::vector<Attempt>& attempts);

}  // namespace yukt::verify
