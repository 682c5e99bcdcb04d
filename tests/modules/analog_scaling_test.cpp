// Scaling of the analog modules' raw codes: the 745t shunt current, the 746x
// thermocouple, the 747x voltages and the 748x/748t shunt currents.

#include <gtest/gtest.h>

#include "modules/module_context.h"
#include "modules/tp745t.h"
#include "modules/tp746x.h"
#include "modules/tp747x.h"
#include "modules/tp748x.h"

namespace yukt {
namespace {

// With a reference of 4096 mV a third reading of 4096 * U gives U mV exactly.
constexpr double kExactRef = 4096;

TEST(Current745t, ShuntCurrentAndTenMilliampShunt) {
    const struct {
        double u;  // mV
        double shunt;
        double ix;
        double rsnt10;
    } cases[] = {
        {1000, 100, 10, 100},   {1200, 100, 12, 0},
        {900, 100, 9, 0},    // exactly 9 mA is not "near 10"
        {1100, 100, 11, 0},  // nor exactly 11
        {1050, 100, 10.5, 105}, {0, 100, 0, 0},
        {1000, 0, 0, 0},  // no valid shunt configured: no current, no division by zero
    };
    for (const auto& c : cases) {
        const auto r = Ttp745t::CurrentOf(c.u * 4096, kExactRef, c.shunt);
        EXPECT_DOUBLE_EQ(r.ix, c.ix) << c.u << " mV over " << c.shunt << " Ω";
        EXPECT_DOUBLE_EQ(r.rsnt10, c.rsnt10) << c.u << " mV over " << c.shunt << " Ω";
    }
}

TEST(Current745t, SettersIgnoreValuesOutsideTheirLimits) {
    ModuleContext ctx;
    Ttp745t m(ctx);
    EXPECT_EQ(m.RShunt(), 0);
    EXPECT_EQ(m.URef(), 2500);
    const struct {
        double x;
        double shunt;
        double uref;
    } cases[] = {{10, 0, 10},        {10.5, 10.5, 10.5}, {4999, 4999, 4999},
                 {5000, 4999, 4999}, {0, 4999, 4999},    {-1, 4999, 4999}};
    for (const auto& c : cases) {
        m.SetRShunt(c.x);
        m.SetURef(c.x);
        EXPECT_EQ(m.RShunt(), c.shunt) << c.x;
        EXPECT_EQ(m.URef(), c.uref) << c.x;
    }
    EXPECT_EQ(m.Current(), 0) << "a module that is not present reads no current";
}

TEST(Thermocouple746x, ConversionExamples) {
    ModuleContext ctx;
    Ttp746x m(ctx);
    const struct {
        double e;    // mV
        double tcj;  // cold junction, °C
        double t;
    } cases[] = {
        {1.337, 0, 100},  // a table point
        {0, 20, 20},      // compensation alone: E' = E(20 °C)
        {0, 0, 0},
        {0.0605, 0, 5},                  // half-way through the first segment
        {33.638, 0, 2500},               // the last table point
        {-0.001, 0, -1},                 // below the table: RangeLow - 1
        {-0.3, 20, -1},                  // still below the table after compensation
        {-0.2, 20, 10 * 0.046 / 0.121},  // compensated back into the first segment
        {40.001, 0, 2501},               // above the table: RangeHigh + 1
        {35, 0, 2490 + (35 - 33.561) * 10 / (33.638 - 33.561)},  // past 2500 °C: last segment
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(m.TC(c.e, c.tcj), c.t, 1e-9) << c.e << " mV, junction " << c.tcj;
    }
    EXPECT_NEAR(Ttp746x::UxOf(1.337 * 65536 * 16 / 2500, 2500), 1.337, 1e-12);
    EXPECT_EQ(m.Material(), 1) << "746x starts with copper W=1.4280";
}

TEST(Voltage747x, CodesOverTheReference) {
    const struct {
        double code;
        double mv;
    } cases[] = {
        {1073742, 1073742.0 * 2500 / 268435456},  // 10.0000016 mV
        {0, 0},
        {16777215, 16777215.0 * 2500 / 268435456},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(Ttp747x::VoltsOf(c.code, 2500), c.mv) << c.code;
    EXPECT_EQ(Field73(Ttp747x::VoltsOf(1073742, 2500)), " 10.000");
}

TEST(Current748x, ShuntAtTenMilliamps) {
    const struct {
        double u;
        double shunt;
        double amps;
        double shuntAt10;
    } cases[] = {
        {800, 100, 8, 0},    // exactly 8 mA: not near 10
        {1200, 100, 12, 0},  // exactly 12 mA: not near 10
        {1000, 100, 10, 100}, {810, 100, 8.1, 81}, {1190, 100, 11.9, 119}, {0, 99.849, 0, 0},
    };
    for (const auto& c : cases) {
        const ShuntReading r = ShuntCurrent(c.u, c.shunt);
        EXPECT_DOUBLE_EQ(r.amps, c.amps) << c.u;
        EXPECT_DOUBLE_EQ(r.shuntAt10, c.shuntAt10) << c.u;
    }
    // A code of 6710886 with the default reference over 100 Ω.
    const double u = MvOf24(6710886, 2500);
    EXPECT_NEAR(u, 999.99994, 1e-5);
    const ShuntReading r = ShuntCurrent(u, 100);
    EXPECT_NEAR(r.amps, 9.9999994, 1e-7);
    EXPECT_NEAR(r.shuntAt10, 99.999994, 1e-6);
    EXPECT_NEAR(MvOf12(4095, 2500), 2499.39, 0.005);
}

TEST(Current748x, ShuntLimits) {
    ModuleContext ctx;
    Ttp748x m(ctx);
    EXPECT_EQ(m.Shunt(1), 99.849);
    EXPECT_EQ(m.Shunt(2), 99.859);
    EXPECT_EQ(m.Shunt(3), 99.855);
    const struct {
        double x;
        bool accepted;
    } cases[] = {{4.99, false}, {5, true}, {5000, true}, {5000.01, false}};
    for (const auto& c : cases) {
        m.SetShunt(2, 99.859);
        m.SetShunt(2, c.x);
        EXPECT_EQ(m.Error(), c.accepted ? kErrOk : kErrParameter) << c.x;
        EXPECT_EQ(m.Shunt(2), c.accepted ? c.x : 99.859) << c.x;
    }
    m.SetURef(5000);
    EXPECT_EQ(m.URef(), 2500);
    m.SetURef(4999.9);
    EXPECT_EQ(m.URef(), 4999.9);
}

TEST(ResultField, RoundsToZeroWithoutSign) {
    const struct {
        double x;
        const char* text;
    } cases[] = {{0, "  0.000"},       {-1e-15, "  0.000"},  {-0.0004, "  0.000"},
                 {-0.0005, " -0.001"}, {-300, "-300.000"},   {3000, "3000.000"},
                 {12.3456, " 12.346"}, {-12.3456, "-12.346"}};
    for (const auto& c : cases) EXPECT_EQ(Field73(c.x), c.text) << c.x;
}

}  // namespace
}  // namespace yukt
