// What a point owes to the reference and the module: U (k = 2) against
// values computed by hand for each kind of tolerance, and the decision rules
// at and around their edges.

#include "verify/uncertainty.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "verify/plan.h"
#include "verify/verification_run.h"

namespace yukt::verify {
namespace {

Tolerance Kind(ToleranceKind kind, double a, double spanHigh = 0) {
    Tolerance t;
    t.kind = kind;
    t.a = a;
    t.spanHigh = spanHigh;
    t.resolution = 0.001;
    return t;
}

// U = 2·√((δref/√3)² + (step/2/√3)² + s²/n), in the error's unit.
TEST(ExpandedUncertainty, MatchesHandComputedValuesForEachKind) {
    struct Case {
        const char* name;
        Tolerance tol;
        double reference, referenceError, step;
        std::vector<double> readings;
        const char* u;  // three significant digits
    };
    const Case cases[] = {
        // (0.0042/√3)² + (0.0005/√3)² + (0.01/√3)² → 2·0.006269 mA.
        {"abs", Kind(ToleranceKind::Abs, 0.05), 12, 0.0042, 0.001, {12.01, 12.02, 12.03}, "0.0125"},
        // s = 0.001414, s/√2 = 0.001.
        {"abs+rel", Kind(ToleranceKind::AbsRel, 0.01), 4, 0.0034, 0.001, {4.004, 4.006}, "0.00444"},
        // Equal readings: reference and step only, 0.05888 Hz of 1000 Hz.
        {"rel", Kind(ToleranceKind::Rel, 0.5), 1000, 0.01, 0.1, {1000.1, 1000.1}, "0.00589"},
        // 0.005875 mA of a 20 mA span.
        {"reduced", Kind(ToleranceKind::Reduced, 0.2, 20), 20, 0.005, 0.00125,
         {20.001, 20.003, 20.002, 20.002}, "0.0294"},
        // One reading: no spread to count.
        {"one reading", Kind(ToleranceKind::Abs, 0.05), 12, 0.0042, 0, {12.5}, "0.00485"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Fmt("%.3g", ExpandedUncertainty(c.tol, c.reference, c.referenceError, c.step,
                                                  c.readings)),
                  c.u);
    }
}

TEST(Decide, GuardAndMarginalAtAndAroundTheirEdges) {
    constexpr auto P = PointVerdict::Pass, F = PointVerdict::Fail;
    const DecisionRule simple{}, guard{DecisionKind::Guard, 0}, marginal{DecisionKind::Simple, 0.8};
    struct Case {
        const char* name;
        DecisionRule rule;
        double error, u;
        PointVerdict judged, result;
        bool marked;
        const char* reason;
    };
    const Case cases[] = {
        {"simple keeps a pass however large U", simple, 0.2, 0.5, P, P, false, ""},
        {"simple keeps a fail", simple, 0.25, 0, F, F, false, ""},
        {"guard: |Δ| + U at the limit", guard, 0.15, 0.05, P, P, false, ""},
        {"guard: just above", guard, 0.15, 0.06, P, F, false,
         "не годна: |Δ| + U = 0,21 % > 0,2 %"},
        {"guard: a negative error", guard, -0.19, 0.011, P, F, false,
         "не годна: |Δ| + U = 0,201 % > 0,2 %"},
        {"guard never passes a fail", guard, 0.25, 0, F, F, false, ""},
        {"marginal: at 0.8 × limit", marginal, 0.16, 0, P, P, false, ""},
        {"marginal: just above", marginal, 0.161, 0, P, P, true, ""},
        {"marginal: a fail is not marked", marginal, 0.21, 0, F, F, false, ""},
        {"guard and marginal", DecisionRule{DecisionKind::Guard, 0.8}, 0.17, 0.02, P, P, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Judgement j{c.error, 0.2, c.judged};
        const Decided d = Decide(c.rule, j, c.u, "%");
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.marginal, c.marked);
        EXPECT_EQ(d.reason, c.reason);
    }
}

const char* const kMethodology = R"(id = "МП 001-2026"
revision = 1
title = "ЮКТ-748t"
models = ["748t"]
interval_months = 24
DECISION
[tolerances.current]
kind = "reduced"
limit = 0.2
span = [0, 20]
resolution = 0.01
[settlings.current]
delay = 1
agree = 3
band = 0.005
timeout = 20
readings = 3
[reference.current]
kind = "abs+rel"
limit = 0.003
factor = 0.0001
[[operations]]
id = "7.4"
title = "Погрешность"
kind = "error"
quantity = "current"
channels = "1"
points = [4, 20]
tolerance = "current"
settling = "current"
connection = "series"
)";

std::string WithDecision(const std::string& lines) {
    std::string text = kMethodology;
    return text.replace(text.find("DECISION"), 8, lines);
}

TEST(Decide, TheMethodologyChoosesTheRuleAndThePlanCarriesItsReferenceError) {
    struct Case {
        std::string lines;
        bool ok;
        const char* key;
        DecisionKind kind;
        double marginal;
    };
    const Case cases[] = {
        {"", true, "", DecisionKind::Simple, 0},
        {"decision = \"simple\"", true, "", DecisionKind::Simple, 0},
        {"decision = \"guard\"\nmarginal = 0.8", true, "", DecisionKind::Guard, 0.8},
        {"decision = \"strict\"", false, "decision", DecisionKind::Simple, 0},
        {"marginal = 1", false, "marginal", DecisionKind::Simple, 0},
        {"marginal = 0", false, "marginal", DecisionKind::Simple, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        ProcedureError e;
        const std::optional<Methodology> m = ParseMethodology(WithDecision(c.lines), "m.toml", e);
        ASSERT_EQ(m.has_value(), c.ok) << e.Text();
        if (!c.ok) {
            EXPECT_EQ(e.key, c.key);
            EXPECT_EQ(e.line, 6);
            continue;
        }
        std::string error;
        const std::optional<Plan> plan = Expand(*m, {"748t", 3, 0}, error);
        ASSERT_TRUE(plan) << error;
        EXPECT_EQ(plan->decision.kind, c.kind);
        EXPECT_EQ(plan->decision.marginal, c.marginal);
        // ±(0.003 mA + 0.01 % of 20 mA) at the last point.
        EXPECT_NEAR(plan->items.back().referenceError, 0.005, 1e-12);
    }
}

struct Points : ProgressSink {
    std::vector<PointResult> points;
    void PointStarted(int, int, double) override {}
    void PointFinished(const PointResult& p) override { points.push_back(p); }
    void RunFinished(const RunResult&) override {}
};

std::string Meter(double mA) {
    return "745t 2   0.000 100.000 100.000   " + FloatToStr(mA) + " 0";
}

// One point of 4 mA read at 4.008 mA on a ±0.01 mA limit, the reference good
// to ±0.003 mA: "simple" passes it, "guard" refuses it by |Δ| + U.
PointResult RunOnePoint(DecisionKind kind) {
    Procedure p;
    p.title = "t";
    p.kinds = {1};
    p.quantity = Quantity::Current;
    p.points = {4};
    p.errorKind = ErrorKind::Abs;
    p.limit = 0.01;
    p.settling = {1.0, 3, 0.002, 10.0, 2};
    Methodology m = MethodologyOfProcedure(p);
    Tolerance reference;
    reference.kind = ToleranceKind::Abs;
    reference.a = 0.003;
    m.reference = {{Quantity::Current, reference}};
    m.decision.kind = kind;
    std::string error;
    const std::optional<Plan> plan = Expand(m, {"745t", 1, 0}, error);
    EXPECT_TRUE(plan) << error;
    Points sink;
    VerificationRun run(*plan, {1, 0}, &sink);
    run.Start(0);
    run.Reply("787x 1    4.00000  6", 0.2);
    double polled = 1.2;
    run.Tick(polled);
    for (double v : {4.5, 4.009, 4.008, 4.008}) {
        const Actions a = run.Reply(Meter(v), polled + 0.1);
        if (!sink.points.empty()) break;
        polled = a.wakeAt;
        run.Tick(polled);
    }
    EXPECT_EQ(sink.points.size(), 1u);
    return sink.points.empty() ? PointResult{} : sink.points.front();
}

TEST(Decide, AGuardedRunRefusesByTheMarginWhatASimpleOnePasses) {
    const PointResult simple = RunOnePoint(DecisionKind::Simple);
    const PointResult guard = RunOnePoint(DecisionKind::Guard);
    EXPECT_EQ(simple.result, PointVerdict::Pass);
    EXPECT_TRUE(simple.reason.empty());
    EXPECT_NEAR(simple.error, 0.008, 1e-9);
    EXPECT_NEAR(simple.ratio, 0.01 / 0.003, 1e-9);
    EXPECT_NEAR(simple.referenceError, 0.003, 1e-12);
    // At least the reference's own share, 2·0.003/√3.
    EXPECT_GT(simple.u, 0.00346);
    EXPECT_EQ(guard.result, PointVerdict::Fail);
    EXPECT_EQ(guard.u, simple.u);
    EXPECT_EQ(guard.reason.rfind("не годна: |Δ| + U = 0,01", 0), 0u) << guard.reason;
    EXPECT_NE(guard.reason.find("> 0,01 мА"), std::string::npos) << guard.reason;
}

}  // namespace
}  // namespace yukt::verify
