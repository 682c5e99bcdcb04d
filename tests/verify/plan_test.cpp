// The judgement of a point at and around its limit, for each kind of error,
// and the one verdict over a plan's latest attempts.

#include <gtest/gtest.h>

#include "verify/plan.h"

namespace yukt::verify {
namespace {

Tolerance tol(ToleranceKind kind, double a, double b, double resolution) {
    Tolerance t;
    t.kind = kind;
    t.a = a;
    t.b = b;
    t.spanHigh = 20;
    t.resolution = resolution;
    return t;
}

TEST(JudgePoint, AtTheLimitPassesAtEveryPointAndJustAboveFails) {
    constexpr auto R = ToleranceKind::Reduced, L = ToleranceKind::Rel, A = ToleranceKind::Abs,
                   AR = ToleranceKind::AbsRel;
    constexpr auto P = PointVerdict::Pass, F = PointVerdict::Fail;
    struct Case {
        Tolerance t;
        double x, deviation;  // mA
        double error;         // rounded, in the kind's unit
        PointVerdict result;
    };
    const Case cases[] = {
        // 0.04 mA is 0.2 % of 20 mA at every point, above or below.
        {tol(R, 0.2, 0, 0.01), 4, 0.04, 0.2, P},
        {tol(R, 0.2, 0, 0.01), 8, 0.04, 0.2, P},
        {tol(R, 0.2, 0, 0.01), 12, -0.04, -0.2, P},
        {tol(R, 0.2, 0, 0.01), 20, 0.04, 0.2, P},
        {tol(R, 0.2, 0, 0.01), 4, 0.0409, 0.2, P},   // 0.2045 % rounds down
        {tol(R, 0.2, 0, 0.01), 4, 0.041, 0.21, F},   // 0.205 % rounds away from zero
        {tol(R, 0.2, 0, 0.01), 16, -0.041, -0.21, F},
        // 0.5 % of the reference.
        {tol(L, 0.5, 0, 0.01), 4, 0.02, 0.5, P},
        {tol(L, 0.5, 0, 0.01), 12, 0.06, 0.5, P},
        {tol(L, 0.5, 0, 0.01), 20, -0.1, -0.5, P},
        {tol(L, 0.5, 0, 0.01), 12, 0.0606, 0.51, F},
        // ±0.01 mA.
        {tol(A, 0.01, 0, 0.001), 4, 0.01, 0.01, P},
        {tol(A, 0.01, 0, 0.001), 20, -0.01, -0.01, P},
        {tol(A, 0.01, 0, 0.001), 12, 0.0104, 0.01, P},
        {tol(A, 0.01, 0, 0.001), 12, 0.0105, 0.011, F},
        // ±(0.005 + 0.001·|x|) mA: 0.009 at 4 mA, 0.025 at 20 mA.
        {tol(AR, 0.005, 0.001, 0.0001), 4, 0.009, 0.009, P},
        {tol(AR, 0.005, 0.001, 0.0001), 20, -0.025, -0.025, P},
        {tol(AR, 0.005, 0.001, 0.0001), 20, 0.02504, 0.025, P},
        {tol(AR, 0.005, 0.001, 0.0001), 20, 0.02505, 0.0251, F},
        {tol(AR, 0.005, 0.001, 0.0001), 4, 0.0091, 0.0091, F},
        // Floating-point edges: 0.01 + 0.005·18 computes to 0.09999999999999999,
        // and 18.1 − 18 to 0.10000000000000142; both are 0.1 exactly.
        {tol(AR, 0.01, 0.005, 0.001), 18, 0.1, 0.1, P},
        {tol(AR, 0.01, 0.005, 0.001), 18, -0.1, -0.1, P},
        {tol(AR, 0.01, 0.005, 0.001), 18, 0.1005, 0.101, F},
        // +0.041 mA at 2 mA is 0.205 % of 20 mA, which computes to
        // 20.49999999999996 steps of 0.01 %: still a half, rounded away.
        {tol(R, 0.2, 0, 0.01), 2, 0.041, 0.21, F},
        {tol(R, 0.2, 0, 0.01), 2, -0.041, -0.21, F},
        {tol(L, 2, 0, 0.1), 2, 0.041, 2.1, F},  // 2.05 % of 2 mA, the same steps
        {tol(A, 0.04, 0, 0.001), 2, 0.041, 0.041, F},
    };
    for (const Case& c : cases) {
        const Judgement j = JudgePoint(c.t, c.x, c.x + c.deviation);
        SCOPED_TRACE(std::string(ToleranceKindWord(c.t.kind)) + " at " + std::to_string(c.x) +
                     " off by " + std::to_string(c.deviation));
        // The stored error is exactly the decimal value it prints as.
        EXPECT_EQ(j.error, c.error);
        EXPECT_EQ(j.result, c.result);
    }
}

Plan fourItems() {
    Plan p;
    for (int i = 1; i <= 4; ++i) {
        PlanItem it;
        it.item = i;
        it.kind = i == 1 ? OperationKind::Inspection : OperationKind::Error;
        it.channel = i == 1 ? 0 : i - 1;
        p.items.push_back(it);
    }
    return p;
}

Attempt at(int item, PointVerdict r, int number = 1) {
    Attempt a;
    a.item = item;
    a.number = number;
    a.result = r;
    return a;
}

TEST(Verdict, LatestAttemptsDecide) {
    constexpr auto P = PointVerdict::Pass, F = PointVerdict::Fail, N = PointVerdict::NotMeasured;
    struct Case {
        const char* name;
        std::vector<Attempt> attempts;
        RunVerdict verdict;
        std::vector<int> failed, notMeasured;
    };
    const Case cases[] = {
        {"all passed", {at(1, P), at(2, P), at(3, P), at(4, P)}, RunVerdict::Fit, {}, {}},
        {"failure then stop", {at(1, P), at(2, F), at(3, N)}, RunVerdict::Unfit, {2}, {3, 4}},
        {"re-measure supersedes a failure",
         {at(1, P), at(2, F), at(3, P), at(4, P), at(2, P, 2)}, RunVerdict::Fit, {}, {}},
        {"re-measure supersedes a pass",
         {at(1, P), at(2, P), at(3, P), at(4, P), at(3, F, 2)}, RunVerdict::Unfit, {3}, {}},
        {"an unmeasured re-measure leaves the pass in force",
         {at(1, P), at(2, P), at(3, P), at(4, P), at(4, N, 2)}, RunVerdict::Fit, {}, {}},
        {"manual operation refused", {at(1, F), at(2, P), at(3, P), at(4, P)}, RunVerdict::Unfit,
         {1}, {}},
        {"manual operation not answered", {at(2, P), at(3, P), at(4, P)}, RunVerdict::Interrupted,
         {}, {1}},
        {"incomplete plan", {at(1, P), at(2, P)}, RunVerdict::Interrupted, {}, {3, 4}},
        {"attempts at items of no plan count for nothing", {at(7, F)}, RunVerdict::Interrupted,
         {}, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        const VerdictResult v = Verdict(fourItems(), c.attempts);
        EXPECT_EQ(v.verdict, c.verdict) << c.name;
        EXPECT_EQ(v.failedItems, c.failed) << c.name;
        EXPECT_EQ(v.notMeasuredItems, c.notMeasured) << c.name;
        EXPECT_EQ(v.points, 4) << c.name;
    }
    EXPECT_EQ(Verdict(Plan{}, {}).verdict, RunVerdict::Interrupted);
}

// A re-measure that was stopped, cancelled or never settled leaves the
// measured attempt before it in force; only a measurement replaces one.
TEST(Verdict, AnUnmeasuredAttemptNeverSupersedesAMeasuredOne) {
    constexpr auto P = PointVerdict::Pass, F = PointVerdict::Fail, N = PointVerdict::NotMeasured;
    struct Case {
        const char* name;
        std::vector<Attempt> attempts;
        RunVerdict verdict;
        std::vector<int> failed, notMeasured;
        int countingNumber;  // of item 2
    };
    const std::vector<Attempt> others = {at(1, P), at(3, P), at(4, P)};
    const Case cases[] = {
        {"failure, then a stopped re-measure", {at(2, F), at(2, N, 2)}, RunVerdict::Unfit, {2}, {}, 1},
        {"refused inspection, then a cancelled one", {at(2, F), at(2, N, 2), at(2, N, 3)},
         RunVerdict::Unfit, {2}, {}, 1},
        {"pass, then a re-measure that never settled", {at(2, P), at(2, N, 2)}, RunVerdict::Fit, {},
         {}, 1},
        {"failure, stop, then a pass", {at(2, F), at(2, N, 2), at(2, P, 3)}, RunVerdict::Fit, {}, {},
         3},
        {"pass, stop, then a failure", {at(2, P), at(2, N, 2), at(2, F, 3)}, RunVerdict::Unfit, {2},
         {}, 3},
        {"only stopped attempts: the latest", {at(2, N), at(2, N, 2)}, RunVerdict::Interrupted, {},
         {2}, 2},
        {"order stored is not order made", {at(2, N, 2), at(2, F, 1)}, RunVerdict::Unfit, {2}, {}, 1},
    };
    for (const Case& c : cases) {
        std::vector<Attempt> all = others;
        all.insert(all.end(), c.attempts.begin(), c.attempts.end());
        const VerdictResult v = Verdict(fourItems(), all);
        EXPECT_EQ(v.verdict, c.verdict) << c.name;
        EXPECT_EQ(v.failedItems, c.failed) << c.name;
        EXPECT_EQ(v.notMeasuredItems, c.notMeasured) << c.name;
        const auto counting = LatestAttempts(fourItems(), all);
        ASSERT_NE(counting[1], nullptr) << c.name;
        EXPECT_EQ(counting[1]->number, c.countingNumber) << c.name;
    }
}

// The limit a point is judged against, and the unit it is shown in, per kind.
TEST(LimitAt, InTheUnitOfTheErrorKind) {
    struct Case {
        Tolerance t;
        Quantity q;
        double x;
        double limit;
        std::string unit;
    };
    Tolerance reduced = tol(ToleranceKind::Reduced, 0.2, 0, 0.01);
    const Case cases[] = {
        {reduced, Quantity::Current, 12, 0.2, "%"},
        {tol(ToleranceKind::Rel, 0.01, 0, 0.001), Quantity::Frequency, 3500, 0.01, "%"},
        {tol(ToleranceKind::Abs, 0.04, 0, 0.001), Quantity::Current, 4, 0.04, "мА"},
        {tol(ToleranceKind::AbsRel, 0.01, 0.005, 0.001), Quantity::Current, 18, 0.01 + 0.005 * 18,
         "мА"},
        {tol(ToleranceKind::Abs, 1, 0, 1), Quantity::Count, 100, 1, "имп."},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(LimitAt(c.t, c.x), c.limit) << ToleranceKindWord(c.t.kind);
        EXPECT_EQ(ErrorUnit(c.t.kind, c.q), c.unit) << ToleranceKindWord(c.t.kind);
        // What the judge compares with is the same limit.
        EXPECT_DOUBLE_EQ(JudgePoint(c.t, c.x, c.x).limit, c.limit) << ToleranceKindWord(c.t.kind);
    }
}

}  // namespace
}  // namespace yukt::verify
