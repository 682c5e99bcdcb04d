#pragma once
// What a measured point owes to the reference and to the module: the
// expanded uncertainty U (k = 2) of its error, and the decision rule a
// methodology may choose on top of the plain comparison with the limit.

#include <string>
#include <vector>

#include "verify/methodology.h"
#include "verify/plan.h"
#include "verify/point_result.h"

namespace yukt::verify {

// U of the error of a point, in the unit of the tolerance's error kind
// (the quantity's unit, or % of the reference or of the span), from three
// contributions: the reference's permitted error `referenceError` and half
// the module's step `step` (both in the quantity's unit, rectangular), and
// the standard deviation of the mean of `readings`.
double ExpandedUncertainty(const Tolerance& tol, double reference, double referenceError,
                           double step, const std::vector<double>& readings);

struct Decided {
    PointVerdict result = PointVerdict::NotMeasured;
    bool marginal = false;
    std::string reason;  // a guard's refusal: "не годна: |Δ| + U = 0,21 % > 0,2 %"
};
// Applies the rule to a judged point; `unit` is what the error is given in
// ("%" or the quantity's unit). Under "simple" the result is the judgement's.
Decided Decide(const DecisionRule& rule, const Judgement& j, double u, const std::string& unit);

// A point of plan item `it` judged as `j` (from p's reference and
// readings): fills what the reference and the module's step contribute
// (p.referenceError, p.ratio, p.u) and applies the plan's rule. The run's
// points and those the operator records by hand go through it alike.
// `quartzKHz`: the quartz the module's frequency step is counted from.
Decided DecidePlanPoint(const Plan& plan, const PlanItem& it, const Judgement& j,
                        double quartzKHz, PointResult& p);

// The text marking a point close to its limit.
inline constexpr const char* kMarginalText = "близко к пределу";
// How a guard's refusal begins; the margin follows.
inline constexpr const char* kGuardRefusal = "не годна: ";

}  // namespace yukt::verify
