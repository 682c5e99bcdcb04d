#include "verify/uncertainty.h"

#include <cmath>

#include "common/text.h"
#include "verify/point_table.h"
#include "verify/procedure.h"

namespace yukt::verify {
namespace {

// An error for the operator: three significant digits, a decimal comma.
std::string Shown(double v) {
    std::string s = Fmt("%.3g", v);
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

}  // namespace

double ExpandedUncertainty(const Tolerance& tol, double reference, double referenceError,
                           double step, const std::vector<double>& readings) {
    const double sqrt3 = std::sqrt(3.0);
    const double uRef = std::fabs(referenceError) / sqrt3;
    const double uStep = std::fabs(step) / 2 / sqrt3;
    double uMean = 0;
    const std::size_t n = readings.size();
    if (n > 1) {
        double mean = 0;
        for (double x : readings) mean += x;
        mean /= static_cast<double>(n);
        double squares = 0;
        for (double x : readings) squares += (x - mean) * (x - mean);
        uMean = std::sqrt(squares / static_cast<double>(n - 1)) / std::sqrt(static_cast<double>(n));
    }
    double u = 2 * std::sqrt(uRef * uRef + uStep * uStep + uMean * uMean);
    // In the unit the error is judged in.
    switch (tol.kind) {
        case ToleranceKind::Rel:
            u = reference != 0 ? u / std::fabs(reference) * 100 : 0;
            break;
        case ToleranceKind::Reduced:
            u = tol.spanHigh != tol.spanLow ? u / std::fabs(tol.spanHigh - tol.spanLow) * 100 : 0;
            break;
        default:
            break;
    }
    return u;
}

Decided Decide(const DecisionRule& rule, const Judgement& j, double u, const std::string& unit) {
    Decided d{j.result, false, {}};
    if (j.result != PointVerdict::Pass) return d;
    const double margin = std::fabs(j.error) + u;
    // The same last-bit allowance as the judgement's own comparison.
    if (rule.kind == DecisionKind::Guard && margin > j.limit * (1 + 1e-9)) {
        d.result = PointVerdict::Fail;
        const std::string space = unit.empty() ? "" : " ";
        d.reason = std::string(kGuardRefusal) + "|Δ| + U = " + Shown(margin) + space + unit + " > " +
                   Shown(j.limit) + space + unit;
        return d;
    }
    d.marginal = rule.marginal > 0 && std::fabs(j.error) > rule.marginal * j.limit;
    return d;
}

Decided DecidePlanPoint(const Plan& plan, const PlanItem& it, const Judgement& j,
                        double quartzKHz, PointResult& p) {
    const double step = ModuleResolution(it.quantity, plan.kind, p.reference, quartzKHz);
    p.referenceError = it.referenceError;
    p.ratio = it.refRatio;
    p.u = ExpandedUncertainty(it.tolerance, p.reference, it.referenceError, step, p.readings);
    const bool percent =
        it.tolerance.kind == ToleranceKind::Rel || it.tolerance.kind == ToleranceKind::Reduced;
    return Decide(plan.decision, j, p.u, percent ? "%" : QuantityUnit(it.quantity));
}

}  // namespace yukt::verify
