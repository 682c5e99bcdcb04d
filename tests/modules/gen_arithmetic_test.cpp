// The generators' arithmetic without a link: rounding, reloads, spans, the
// plan of the calculation mode, the counter answers and the set forms.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "modules/model_table.h"
#include "modules/module_context.h"
#include "modules/tp788t.h"
#include "modules/tp788v.h"
#include "modules/tp788x.h"

namespace yukt {
namespace {

constexpr double kQuartz = 7374.6075308;
constexpr double kTicksPerUs = kQuartz / 4000;

TEST(GeneratorArithmetic, NearestRoundsHalvesToEvenAndClamps) {
    struct Case {
        double x;
        std::int32_t expected;
    };
    const Case cases[] = {
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {-0.5, 0},
        {-1.5, -2},
        {9218.5, 9218},
        {9219.5, 9220},
        {18436.5188, 18437},
        {1e12, 2147483647},
        {-1e12, -2147483647 - 1},
        {INFINITY, 2147483647},
        {NAN, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(TFreqGenerator::Nearest(c.x), c.expected) << c.x;
}

struct QuantiseCase {
    const char* name;
    double periodUs;
    double intervalUs;
    int spanOffset;
    std::uint16_t d, w, k, r;
    std::uint8_t secs;
    bool small;
    double producedIntervalTicks;
};

TEST(GeneratorArithmetic, QuantiseGivesReloadsSpansAndProducedValues) {
    const QuantiseCase cases[] = {
        // 100 Hz, 0.5 s: one interval in whole spans, and the counting modes.
        {"interval", 10000, 500000, 0, 0xB7FB, 9218, 14, 4322, 0, false, 921826 + 131072},
        {"counting", 10000, 500000, 2, 0xB7FB, 9218, 12, 4322, 0, false, 921826},
        // 29 Hz: more than 61455 ticks per period.
        {"slow", 1000000.0 / 29, 5000000, 2, 1962, 31787, 138, 43219, 5, true, 9218259},
        // An interval shorter than two spans takes K below zero.
        {"short", 10000, 50000, 2, 0xB7FB, 9218, 0xFFFF, 26647, 0, false, 92183},
    };
    ModuleContext ctx;
    for (const QuantiseCase& c : cases) {
        SCOPED_TRACE(c.name);
        Ttp788t g(ctx);
        g.SetPeriod(c.periodUs);
        g.SetPeriod2(c.periodUs);
        g.SetInterval(c.intervalUs);
        const TimingFrame f = g.Quantise(c.spanOffset);
        EXPECT_EQ(f.D, c.d);
        EXPECT_EQ(f.D2, c.d);
        EXPECT_EQ(f.W, c.w);
        EXPECT_EQ(f.K, c.k);
        EXPECT_EQ(f.R, c.r);
        EXPECT_EQ(f.Secs, c.secs);
        EXPECT_EQ(f.Small, c.small);
        EXPECT_NEAR(g.PeriodUs(), (65536 - c.d) / kTicksPerUs, 1e-9);
        EXPECT_NEAR(g.Period2Us(), g.PeriodUs(), 1e-9);
        EXPECT_NEAR(g.WidthUs(), c.w / kTicksPerUs, 1e-9);
        EXPECT_NEAR(g.IntervalUs() * kTicksPerUs, c.producedIntervalTicks, 1e-6);
    }
}

TEST(GeneratorArithmetic, HundredHertzIsProducedAsTenThousandPointTwoSixMicroseconds) {
    ModuleContext ctx;
    Ttp788t g(ctx);
    g.SetPeriod(10000);
    const TimingFrame f = g.Quantise(2);
    EXPECT_EQ(f.D, 47099);
    EXPECT_NEAR(g.PeriodUs(), 10000.26, 0.005);
    // Applying the produced values again gives the same frame.
    g.SetInterval(500000);
    const TimingFrame first = g.Quantise(2);
    const TimingFrame second = g.Quantise(2);
    EXPECT_EQ(first.D, second.D);
    EXPECT_EQ(first.K, second.K);
    EXPECT_EQ(first.R, second.R);
}

TEST(GeneratorArithmetic, PlanCountsThePulsesOfTheInterval) {
    struct Case {
        double periodUs;
        double intervalUs;
        double plannedCount;
    };
    const Case cases[] = {
        {10000, 5000000, 5000000 / (18437 / kTicksPerUs)},
        // 65536 ticks exactly: the reload wraps to 0 and counts as 65536.
        {65536 / kTicksPerUs, 1000000, 1000000 / (65536 / kTicksPerUs)},
        // Longer than a span: only the ticks beyond whole spans count.
        {70000 / kTicksPerUs, 1000000, 1000000 / ((70000 - 65536) / kTicksPerUs)},
    };
    ModuleContext ctx;
    for (const Case& c : cases) {
        Ttp788t g(ctx);
        g.SetPeriod(c.periodUs);
        g.SetInterval(c.intervalUs);
        g.SetMode(2);
        EXPECT_EQ(g.Apply(), 0);
        EXPECT_NEAR(g.PlannedCount(), c.plannedCount, 1e-9);
        EXPECT_DOUBLE_EQ(g.PlannedIntervalUs(), c.intervalUs);
        EXPECT_DOUBLE_EQ(g.PeriodUs(), c.periodUs);  // the plan changes no setting
    }
}

TEST(GeneratorArithmetic, SignedCountTakesTheDirectionFromBit23) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        double count;
    };
    const Case cases[] = {
        {{0x05, 0x00, 0x80, 0x00}, 5},         {{0x05, 0x00, 0x00, 0x00}, -5},
        {{0x00, 0x00, 0x00, 0x00}, 0},         {{0xFF, 0xFF, 0xFF, 0xFF}, 0x7FFFFF},
        {{0xFF, 0xFF, 0x7F, 0x12}, -0x7FFFFF},
    };
    for (const Case& c : cases) EXPECT_EQ(TFreqGenerator::SignedCount(c.bytes.data()), c.count);
}

TEST(GeneratorArithmetic, FractionalCountAddsTheOpenPeriods) {
    struct Case {
        std::vector<std::uint8_t> answer;  // pulses, ticks since the edge, reload
        double periodUs;
        double widthUs;
        double count;
    };
    const double p = 18437 / kTicksPerUs;
    const Case cases[] = {
        // 50 pulses, half a period high, 4322 ticks of a 18437-tick period open.
        {{50, 0, 0, 0xE2, 0x10, 0xFB, 0xB7}, p, p / 2, 49 + 0.5 + 4322.0 / 18437},
        // A width above the period counts only its excess.
        {{1, 0, 0, 0, 0, 0xFB, 0xB7}, p, p * 1.25, (p - p * 0.25) / p},
        // A reload of 65535 would divide by almost nothing: one µs at least.
        {{2, 0, 0, 10, 0, 0xFF, 0xFF}, p, p / 2, 1 + 0.5 + (10 / kTicksPerUs) / 1.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(
            TFreqGenerator::FractionalCount(c.answer.data(), kTicksPerUs, c.periodUs, c.widthUs),
            c.count, 1e-9);
}

TEST(GeneratorArithmetic, ModesOutsideEachFamilyFallBackToTheCalculation) {
    struct Case {
        int m;
        int t, x, v;
    };
    const Case cases[] = {
        {0, 0, 0, 0}, {1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 2, 3}, {4, 4, 2, 4},
        {5, 5, 2, 5}, {6, 2, 2, 6}, {7, 2, 2, 7}, {8, 2, 2, 2}, {-1, 2, 2, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Ttp78t8::ModeFor(c.m), c.t) << c.m;
        EXPECT_EQ(Ttp78x8::ModeFor(c.m), c.x) << c.m;
        EXPECT_EQ(Ttp78v8::ModeFor(c.m), c.v) << c.m;
    }
}

TEST(GeneratorArithmetic, QuartzOutsideItsWindowIsRefused) {
    struct Case {
        double kHz;
        double stored;
        int error;
    };
    const Case cases[] = {
        {1000, 1000, kErrOk},
        {32000, 32000, kErrOk},
        {999.99, kQuartz, kErrParameter},
        {32000.01, kQuartz, kErrParameter},
        {7374.2978, 7374.2978, kErrOk},
    };
    ModuleContext ctx;
    for (const Case& c : cases) {
        Ttp788t g(ctx);
        g.SetQuartz(c.kHz);
        EXPECT_DOUBLE_EQ(g.QuartzKHz(), c.stored) << c.kHz;
        EXPECT_EQ(g.Error(), c.error) << c.kHz;
    }
}

TEST(GeneratorSetForms, FiveFormsOf788tInOrder) {
    struct Case {
        std::vector<std::string> w;  // words 4..7
        std::optional<GeneratorSetting> expected;
    };
    const Case cases[] = {
        {{"1000", "2", "50", "5"}, GeneratorSetting{1000, 2, 50, 5}},
        {{"500", "0.5", "1", ""}, GeneratorSetting{500, 0.5, 200, 1}},
        {{"500", "0.5", "0", ""}, GeneratorSetting{500, 0.5, 200, 0}},
        {{"500", "10", "2", ""}, GeneratorSetting{500, 10, 200, 2}},
        {{"250", "2", "", ""}, GeneratorSetting{250, 5, 200, 2}},
        {{"20", "3", "", ""}, GeneratorSetting{20, 5, 200, 3}},
        {{"0.5", "4", "", ""}, GeneratorSetting{100, 0.5, 200, 4}},
        {{"3", "", "", ""}, GeneratorSetting{0, 5, 200, 3}},
        {{"3", "7", "", ""}, GeneratorSetting{0, 5, 200, 3}},
        {{"100", "", "", ""}, std::nullopt},
        {{"100", "0.5", "3", ""}, std::nullopt},
        {{"abc", "4", "", ""}, std::nullopt},
        {{"1000", "2", "x", "5"}, std::nullopt},
        {{"", "", "", ""}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w[0] + " " + c.w[1] + " " + c.w[2] + " " + c.w[3]);
        const std::optional<GeneratorSetting> s = Parse788tSet(c.w[0], c.w[1], c.w[2], c.w[3]);
        ASSERT_EQ(s.has_value(), c.expected.has_value());
        if (!s) continue;
        EXPECT_DOUBLE_EQ(s->FreqHz, c.expected->FreqHz);
        EXPECT_DOUBLE_EQ(s->IntervalS, c.expected->IntervalS);
        EXPECT_EQ(s->Count, c.expected->Count);
        EXPECT_EQ(s->Mode, c.expected->Mode);
    }
}

TEST(GeneratorSetForms, FormsOf788xAnd788v) {
    EXPECT_FALSE(Parse788xSet("100", "0.5", ""));
    EXPECT_FALSE(Parse788xSet("100", "x", "1"));
    const auto x = Parse788xSet("100", "0.5", "1");
    ASSERT_TRUE(x);
    EXPECT_DOUBLE_EQ(x->FreqHz, 100);
    EXPECT_DOUBLE_EQ(x->IntervalS, 0.5);
    EXPECT_EQ(x->Mode, 1);

    const auto times = Parse788vSet("10", "20.5", "30", "40", "6");
    ASSERT_TRUE(times);
    EXPECT_TRUE(times->Times);
    EXPECT_EQ(times->P, (std::array<double, 4>{10, 20.5, 30, 40}));
    EXPECT_EQ(times->Mode, 6);
    EXPECT_TRUE(Parse788vSet("10", "20", "30", "40", "7"));
    EXPECT_FALSE(Parse788vSet("10", "20", "30", "40", "5"));
    EXPECT_FALSE(Parse788vSet("10", "20", "30", "", ""));
    EXPECT_FALSE(Parse788vSet("10", "x", "30", "40", "6"));
    const auto plan = Parse788vSet("250", "2", "", "", "");
    ASSERT_TRUE(plan);
    EXPECT_FALSE(plan->Times);
    EXPECT_DOUBLE_EQ(plan->FreqHz, 250);
    EXPECT_FALSE(Parse788vSet("250", "3", "", "", ""));
}

TEST(GeneratorSetForms, FrequencyWithoutPeriodIsRefusedOutsideTheContinuousMode) {
    struct Case {
        double freq;
        int mode;
        std::optional<double> used;
    };
    const Case cases[] = {
        {0, 3, 29},           {20, 3, 29},          {29.9, 3, 29},         {30, 3, 30},
        {0, 0, std::nullopt}, {0, 2, std::nullopt}, {-5, 4, std::nullopt}, {NAN, 1, std::nullopt},
        {20, 1, 20},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UsableFrequency(c.freq, c.mode), c.used) << c.freq << " " << c.mode;

    // Refused: the module keeps every setting and its error.
    ModuleContext ctx;
    Ttp788t g(ctx);
    g.SetError(kErrOk);
    EXPECT_EQ(g.RunSetting(GeneratorSetting{0, 1, 200, 0}), -1);
    EXPECT_DOUBLE_EQ(g.PeriodUs(), 10000);
    EXPECT_DOUBLE_EQ(g.IntervalUs(), 20000000);
    EXPECT_EQ(g.Mode(), 2);
    Ttp788v v(ctx);
    Generator788vSetting plan;
    plan.Times = false;
    plan.FreqHz = 0;
    EXPECT_EQ(v.RunSetting(plan), -1);
    EXPECT_DOUBLE_EQ(v.PeriodUs(), 10000);
}

}  // namespace
}  // namespace yukt
