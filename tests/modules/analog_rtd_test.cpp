// Resistance-to-temperature conversion of the RTD base: table points, the
// accepted range of each material, the ГОСТ column mapping and the parameter
// limits of the references and corrections.

#include <gtest/gtest.h>

#include "modules/module_context.h"
#include "modules/tp74x1.h"

namespace yukt {
namespace {

struct RtdCase {
    int gost;
    double r;
    double t;
};

TEST(RtdConversion, TemperatureAtTablePointsAndRangeEdges) {
    const RtdCase cases[] = {
        // platinum W=1.3910
        {1, 100.00, 0},
        {1, 139.10, 100},
        {1, 55.50, -110},
        {1, 287.13, 510},
        {1, 55.49, -300},
        {1, 287.14, 3000},
        {1, 51.36, -300},  // entry 0 lies outside the accepted range
        {1, 102.00, 0 + 10 * (102.00 - 100.00) / (103.96 - 100.00)},
        // copper W=1.4280
        {2, 100.00, 0},
        {2, 16.27, -190},
        {2, 181.30, 190},
        {2, 16.26, -300},
        {2, 181.31, 3000},
        // platinum EURO
        {3, 76.28, -60},
        {3, 123.24, 60},
        {3, 127.00, 3000},
        {3, 76.27, -300},
        // platinum W=1.3850
        {4, 56.19, -110},
        {4, 284.22, 510},
        {4, 138.50, 100},
        {4, 284.23, 3000},
        // copper W=1.4260
        {5, 82.96, -40},
        {5, 180.94, 190},
        {5, 78.70, -300},
        // copper 53 Ω: every entry is accepted
        {6, 41.71, -50},
        {6, 93.64, 180},
        {6, 53.00, 0},
        {6, 41.70, -300},
        {6, 93.65, 3000},
    };
    ModuleContext ctx;
    Ttp74x1 rtd(ctx);
    for (const auto& c : cases) {
        rtd.SetMaterial(c.gost);
        EXPECT_NEAR(rtd.RtoT(c.r), c.t, 1e-9) << "ГОСТ " << c.gost << ", R " << c.r;
    }
}

TEST(RtdConversion, GostColumnSelectsMaterial) {
    const struct {
        int gost;
        int material;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 0}, {99, 0}, {-1, 0}};
    ModuleContext ctx;
    Ttp74x1 rtd(ctx);
    EXPECT_EQ(rtd.Material(), 0) << "the constructor selects code 1";
    for (const auto& c : cases) {
        rtd.SetMaterial(6);
        rtd.SetMaterial(c.gost);
        EXPECT_EQ(rtd.Material(), c.material) << "ГОСТ " << c.gost;
    }
    rtd.SetMaterial(7);
    EXPECT_NEAR(rtd.RtoT(139.10), 100, 1e-9);
}

TEST(RtdConversion, ReferenceLimits) {
    const struct {
        double x;
        bool accepted;
    } cases[] = {{4.9, false}, {5, true}, {100, true}, {5000, true}, {5000.5, false}, {-10, false}};
    ModuleContext ctx;
    for (const auto& c : cases) {
        Ttp74x1 rtd(ctx);
        rtd.SetRRef(c.x);
        EXPECT_EQ(rtd.Error(), c.accepted ? kErrOk : kErrParameter) << c.x;
        EXPECT_EQ(rtd.RRef(), c.accepted ? c.x : 100.0) << c.x;
        rtd.SetRRefGroup3(c.x);
        EXPECT_EQ(rtd.Error(), c.accepted ? kErrOk : kErrParameter) << c.x;
        EXPECT_EQ(rtd.RRefGroup(3), c.accepted ? c.x : 100.0) << c.x;
        EXPECT_EQ(rtd.RRefGroup(1), 100.0);
    }
}

TEST(RtdConversion, ChannelCorrectionAndPointLimits) {
    ModuleContext ctx;
    Ttp74x1 rtd(ctx);
    rtd.SetChanOffset(5, 0.15);
    EXPECT_EQ(rtd.Error(), kErrOk);
    EXPECT_FLOAT_EQ(rtd.GetChanOffset(5), 0.15f);
    rtd.SetChanOffset(5, 5000.1);
    EXPECT_EQ(rtd.Error(), kErrParameter);
    EXPECT_FLOAT_EQ(rtd.GetChanOffset(5), 0.15f);
    rtd.SetChanOffset(5, -5000);
    EXPECT_EQ(rtd.Error(), kErrOk);
    EXPECT_FLOAT_EQ(rtd.GetChanOffset(5), -5000.0f);
    rtd.SetChanOffset(33, 1);  // outside 1..32: ignored
    EXPECT_EQ(rtd.GetChanOffset(33), 0.0f);

    rtd.SetChanParam(32, 99);
    EXPECT_EQ(rtd.GetChanParam(32), 99);
    rtd.SetChanParam(32, 100);
    EXPECT_EQ(rtd.Error(), kErrParameter);
    EXPECT_EQ(rtd.GetChanParam(32), 99);
    rtd.SetChanParam(1, 0);
    EXPECT_EQ(rtd.Error(), kErrParameter);
    EXPECT_EQ(rtd.GetChanParam(1), 0);
    EXPECT_EQ(rtd.GetChanParam(0), 0);
}

TEST(RtdConversion, GettersOutsideTheChannelsGiveTheirMarkers) {
    ModuleContext ctx;
    Ttp74x1 rtd(ctx);
    EXPECT_EQ(rtd.ChanR(0), 0);
    EXPECT_EQ(rtd.ChanR(9), 0);
    EXPECT_EQ(rtd.ChanT(0), -300);
    EXPECT_EQ(rtd.ChanT(9), -300);
    EXPECT_EQ(rtd.ChanCode(9), -1);
    EXPECT_EQ(rtd.Rx(), 100.0);
}

TEST(RtdConversion, NotPresentModuleIsNotPolled) {
    ModuleContext ctx;
    Ttp74x1 rtd(ctx);
    EXPECT_EQ(rtd.Measure(), -100);
    EXPECT_EQ(rtd.MeasureGroup(), -300);
    EXPECT_EQ(rtd.Error(), kErrNotConfigured);
}

}  // namespace
}  // namespace yukt
