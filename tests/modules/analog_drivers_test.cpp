// The analog input drivers end to end: requests through the real link and
// frame code to simulated modules, conversions, and the result lines of every
// destination for present, refusing and absent modules.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analog_bench.h"
#include "modules/tp745b.h"
#include "modules/tp745t.h"
#include "modules/tp745x.h"
#include "modules/tp746x.h"
#include "modules/tp747x.h"
#include "modules/tp748t.h"
#include "modules/tp748x.h"

namespace yukt::test {
namespace {

using AnalogDrivers = AnalogBench;

TEST_F(AnalogDrivers, Rtd745xReadsTheBenchResistance) {
    device("745x", 5);
    setRtd(139.10);
    dir.write("tp745x.cfg", "745x 1 1 23 5 100 1\n");
    ModelTable<Tp745xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp745x& m = *table.Module(1);
    ASSERT_TRUE(m.Present());
    EXPECT_EQ(m.Error(), kErrOk);
    // 100 Ω and 139.10 Ω as 32768 codes per ohm; the third reading is unused.
    EXPECT_EQ(poll(table), std::vector<std::string>{"745x 1 100.000 139.100  71.891"});
    EXPECT_EQ(m.RawA(), 3276800);
    EXPECT_EQ(m.RawB(), 4558029);
    EXPECT_NEAR(m.Tx(), 100, 1e-4);
    EXPECT_EQ(table.LineFor(m, Route::Dat), " 745x     1  100.000  139.100    71.891");
    EXPECT_EQ(table.LineFor(m, Route::Console), " 745x     1   100.000 139.100    71.891");
    EXPECT_EQ(table.LineFor(m, Route::Link), " 745x     1  100.000 139.100    71.891");
}

TEST_F(AnalogDrivers, ZeroReferenceReadingGivesHundredOhms) {
    ScriptedModule& mod = script("745x", 5);
    mod.answer(2, triple(0, 1234567, 0));
    dir.write("tp745x.cfg", "745x 1 1 23 5 100 1\n");
    ModelTable<Tp745xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    EXPECT_EQ(poll(table), std::vector<std::string>{"745x 1   0.000 100.000   0.000"});
    EXPECT_EQ(table.Module(1)->Rx(), 100);
    ASSERT_EQ(mod.requests.size(), 1u);
    EXPECT_EQ(mod.requests[0].command, 2);
    EXPECT_TRUE(mod.requests[0].data.empty());
}

TEST_F(AnalogDrivers, FailedExchangeShowsErr5AndKeepsTheLastValues) {
    const struct {
        sim::FaultKind kind;
    } faults[] = {{sim::FaultKind::Refuse},
                  {sim::FaultKind::Silence},
                  {sim::FaultKind::BadSum},
                  {sim::FaultKind::TornFrame}};
    for (const auto& f : faults) {
        device("745x", 5);
        setRtd(100);
        dir.write("tp745x.cfg", "745x 1 1 23 5 100 1\n");
        ModelTable<Tp745xTraits> table(ctx);
        ASSERT_EQ(table.LoadCfg(), 0);
        ASSERT_EQ(poll(table), std::vector<std::string>{"745x 1   0.000 100.000 100.000"});
        setRtd(139.10);
        sim::Fault fault;
        fault.kind = f.kind;
        fault.address = 5;
        bench.injectFault(fault);
        EXPECT_EQ(poll(table), std::vector<std::string>{"745x 1 Err 5"});
        Ttp745x& m = *table.Module(1);
        EXPECT_EQ(m.Error(), kErrExchange);
        EXPECT_TRUE(m.Present()) << "a failed exchange does not clear Present";
        EXPECT_EQ(m.Rx(), 100) << "the previous resistance stays";
        EXPECT_EQ(poll(table), std::vector<std::string>{"745x 1 100.000 139.100  71.891"});
        EXPECT_EQ(m.Error(), kErrOk);
        bench.clearFaults();
    }
}

TEST_F(AnalogDrivers, FailedExchangeLinesOfEveryRoute) {
    device("745x", 5);
    device("745t", 6);
    device("746x", 7);
    device("745b", 8);
    dir.write("tp745x.cfg", "745x 3 1 23 5 100 1\n");
    dir.write("tp745t.cfg", "745t 3 1 23 6 100 100 1 2500\n");
    dir.write("tp746x.cfg", "746x 3 1 23 7 100 2 2500\n");
    dir.write("tp745b.cfg", "745b 3 1 23 8 100 100 100 100 1\n");
    ModelTable<Tp745xTraits> t745x(ctx);
    ModelTable<Tp745tTraits> t745t(ctx);
    ModelTable<Tp746xTraits> t746x(ctx);
    ModelTable<Tp745bTraits> t745b(ctx);
    ASSERT_EQ(t745x.LoadCfg(), 0);
    ASSERT_EQ(t745t.LoadCfg(), 0);
    ASSERT_EQ(t746x.LoadCfg(), 0);
    ASSERT_EQ(t745b.LoadCfg(), 0);
    sim::Fault refuse;
    refuse.kind = sim::FaultKind::Refuse;
    refuse.times = sim::kForever;
    bench.injectFault(refuse);
    const struct {
        Route route;
        const char* t745x;
        const char* t745t;
        const char* t746x;
        const char* t745b;
    } rows[] = {
        {Route::Reply, "745x 3 Err 5", "745t 3 Err 5", "746x 3 Err 5", "745b 3 Err 5"},
        {Route::Console, " 745x     3   Err 5", " 745t     3  Err 5", " 746x     3  Err 5",
         " 745b     3   Err 5"},
        {Route::Link, " 745x     3  Err 5", " 745t     3  Err 5", " 746x     3  Err 5",
         " 745b     3  Err 5"},
        {Route::Dat, " 745x     3  Err 5", " 745t     3  Err 5", " 746x     3  Err 5",
         " 745b     3  Err 5"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(t745x.LineFor(*t745x.Module(1), r.route), r.t745x);
        EXPECT_EQ(t745t.LineFor(*t745t.Module(1), r.route), r.t745t);
        EXPECT_EQ(t746x.LineFor(*t746x.Module(1), r.route), r.t746x);
        EXPECT_EQ(t745b.LineFor(*t745b.Module(1), r.route), r.t745b);
    }
}

TEST_F(AnalogDrivers, AbsentModulesAreNotPolledAndShowErr4) {
    dir.write("tp745x.cfg", "745x 4 1 23 9 100 1\n");
    dir.write("tp746x.cfg", "746x 4 1 23 9 100 2 2500\n");
    dir.write("tp745b.cfg", "745b 4 1 23 9 100 100 100 100 1\n");
    dir.write("tp747x.cfg", "747x 4 1 23 9 2500\n");
    dir.write("tp748x.cfg", "748x 4 1 23 9 2500 100 100 100\n");
    dir.write("tp748t.cfg", "748t 4 1 23 9 100 100\n");
    ModelTable<Tp745xTraits> t745x(ctx);
    ModelTable<Tp746xTraits> t746x(ctx);
    ModelTable<Tp745bTraits> t745b(ctx);
    ModelTable<Tp747xTraits> t747x(ctx);
    ModelTable<Tp748xTraits> t748x(ctx);
    ModelTable<Tp748tTraits> t748t(ctx);
    ASSERT_EQ(t745x.LoadCfg(), 0);
    ASSERT_EQ(t746x.LoadCfg(), 0);
    ASSERT_EQ(t745b.LoadCfg(), 0);
    ASSERT_EQ(t747x.LoadCfg(), 0);
    ASSERT_EQ(t748x.LoadCfg(), 0);
    ASSERT_EQ(t748t.LoadCfg(), 0);
    const auto requests = bench.requestCount();
    const struct {
        Route route;
        std::string t745x, t746x, t745b, t747x, t748x, t748t;
    } rows[] = {
        {Route::Reply, "745x 4 Err 4", "746x 4 Err 4", "745b 4 Err 4", "747x 4 Err 4",
         "748x 4 Err 4", "748t 4 Err 4"},
        {Route::Console, " 745x     4   Err 4", " 746x     4   Err 4", " 745b     4   Err 4",
         " 747x     4  Err 4", " 748x     4   Err 4", " 748t     4   Err 4"},
        {Route::Link, " 745x     4  Err 4", " 746x     4  Err 4", " 745b     4  Err 4",
         " 747x     4  Err 4", " 748x     4   Err 4", " 748t     4   Err 4"},
        {Route::Dat, " 745x     4  Err 4", " 746x     4  Err 4", " 745b     4  Err 4",
         " 747x     4   Err 4", " 748x     4   Err 4", " 748t     4   Err 4"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(t745x.LineFor(*t745x.Module(1), r.route), r.t745x);
        EXPECT_EQ(t746x.LineFor(*t746x.Module(1), r.route), r.t746x);
        EXPECT_EQ(t745b.LineFor(*t745b.Module(1), r.route), r.t745b);
        EXPECT_EQ(t747x.LineFor(*t747x.Module(1), r.route), r.t747x);
        EXPECT_EQ(t748x.LineFor(*t748x.Module(1), r.route), r.t748x);
        EXPECT_EQ(t748t.LineFor(*t748t.Module(1), r.route), r.t748t);
    }
    EXPECT_EQ(bench.requestCount(), requests) << "absent modules are not polled";
    EXPECT_EQ(t745x.Module(1)->Measure(), -100);
    EXPECT_EQ(t748x.Module(1)->MeasureAmps(), 0);
}

TEST_F(AnalogDrivers, ClosedLinkKeepsRtdValuesButFailsCurrentInputs) {
    device("745x", 5);
    device("748x", 6);
    setRtd(139.10);
    setCurrent(10);
    dir.write("tp745x.cfg", "745x 1 1 23 5 100 1\n");
    dir.write("tp748x.cfg", "748x 1 1 23 6 2500 99.849 99.859 99.855\n");
    ModelTable<Tp745xTraits> t745x(ctx);
    ModelTable<Tp748xTraits> t748x(ctx);
    ASSERT_EQ(t745x.LoadCfg(), 0);
    ASSERT_EQ(t748x.LoadCfg(), 0);
    Ttp745x& rtd = *t745x.Module(1);
    Ttp748x& amps = *t748x.Module(1);
    const double tx = rtd.Measure();
    EXPECT_NEAR(amps.MeasureAmps(), 10, 1e-4);
    EXPECT_EQ(amps.Error(), kErrOk);
    ctx.Links.Entry(1)->OpenLink(false);
    const auto requests = bench.requestCount();
    EXPECT_EQ(rtd.Measure(), tx) << "the previous temperature";
    EXPECT_EQ(rtd.Error(), kErrOk);
    EXPECT_NEAR(amps.MeasureAmps(), 10, 1e-4) << "recomputed from the last codes";
    EXPECT_EQ(amps.Error(), kErrExchange);
    EXPECT_EQ(bench.requestCount(), requests);
}

TEST_F(AnalogDrivers, DataFileHoldsTheLatestCycle) {
    ScriptedModule& mod = script("748x", 5);
    mod.answer(2, triple(1000 * 4096, 0, 0));
    dir.write("tp748x.cfg", "748x 1 1 21 5 4096 100 100 100\n748x 2 1 21 9 4096 100 100 100\n");
    ModelTable<Tp748xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    dir.write("tp748x.dat", "an older cycle\n");
    table.WriteDat();
    EXPECT_EQ(dir.read("tp748x.dat"),
              "\n;Модуль номер    I1       I2       I3      R1 ш.    R2 ш.    R3 ш.\n"
              " 748x     1    10.000    0.000    0.000  100.000    0        0    \n"
              " 748x     2   Err 4\n");
    table.WriteConsole();
    EXPECT_TRUE(ctx.Console.lines().empty()) << "no module on the console route";
}

TEST_F(AnalogDrivers, Current745tAndTheTenMilliampShunt) {
    ScriptedModule& mod = script("745t", 4);
    // With a reference of 4096 mV the third reading is 4096 codes per mV.
    mod.answer(2, triple(1000000, 1000000, 900 * 4096));
    mod.answer(2, triple(1000000, 1000000, 1000 * 4096));
    mod.answer(2, triple(1000000, 1000000, 1200 * 4096));
    dir.write("tp745t.cfg", "745t 1 1 23 4  100 100 1 4096\n");
    ModelTable<Tp745tTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp745t& m = *table.Module(1);
    const struct {
        double ix;
        double rsnt10;
    } expected[] = {{9, 0}, {10, 100}, {12, 0}};
    for (const auto& e : expected) {
        m.Measure();
        EXPECT_DOUBLE_EQ(m.Current(), e.ix);
        EXPECT_DOUBLE_EQ(m.Rsnt10(), e.rsnt10);
    }
    mod.setAnswer(2, triple(1000000, 1000000, 1000 * 4096));
    EXPECT_EQ(table.LineFor(m, Route::Reply), "745t 1   0.000 100.000 100.000  10.000 100.000");
    EXPECT_EQ(table.LineFor(m, Route::Dat),
              " 745t     1    0.000 100.000    100.000   10.000  100.000");
    EXPECT_EQ(table.LineFor(m, Route::Console),
              " 745t     1     0.000 100.000 100.000  10.000 100.000");
    EXPECT_EQ(table.LineFor(m, Route::Link),
              " 745t     1    0.000 100.000   100.000   10.000  100.000");
}

TEST_F(AnalogDrivers, Current745tWithoutShuntReadsZero) {
    ScriptedModule& mod = script("745t", 4);
    mod.answer(2, triple(1000000, 1000000, 1000 * 4096));
    dir.write("tp745t.cfg", "745t 1 1 23 4  0 100 1 4096\n");
    ModelTable<Tp745tTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    EXPECT_EQ(poll(table),
              std::vector<std::string>{"745t 1   0.000 100.000 100.000   0.000   0.000"});
}

TEST_F(AnalogDrivers, Meter745tMeasuresTheGeneratorCurrent) {
    device("745t", 4);
    setCurrent(12);
    setRtd(100);
    dir.write("tp745t.cfg", "745t 1 1 23 4  100 100 1 2500\n");
    ModelTable<Tp745tTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp745t& m = *table.Module(1);
    m.Measure();
    EXPECT_NEAR(m.Current(), 12, 1e-5);
    EXPECT_NEAR(m.Rx(), 100, 1e-9);
}

TEST_F(AnalogDrivers, Thermocouple746xColdJunction) {
    ScriptedModule& mod = script("746x", 5);
    // Reference 1048.576 mV: Ux = 0.001 mV per code.
    mod.answer(2, triple(100000, 100000, 1337));
    mod.answer(2, triple(100000, 108560, 0));
    dir.write("tp746x.cfg", "746x 1 1 23 5 100 2 1048.576\n");
    ModelTable<Tp746xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    EXPECT_EQ(poll(table),
              std::vector<std::string>{"746x 1   0.000 100.000 100.000   1.337 100.000 100.000"});
    const Ttp746x& m = *table.Module(1);
    EXPECT_NEAR(m.Tx0(), 100, 1e-6);
    // The cold junction at 20 °C (108.56 Ω copper) with no EMF.
    EXPECT_EQ(table.LineFor(*table.Module(1), Route::Dat),
              " 746x     1   20.000 108.560     92.115    0.000    0.000   20.000");
    EXPECT_NEAR(m.Tx20(), 20, 1e-6);
    EXPECT_NEAR(m.Tx0(), 0, 1e-12);
    EXPECT_EQ(table.LineFor(*table.Module(1), Route::Console),
              " 746x     1    20.000 108.560  92.115   0.000   0.000  20.000");
    EXPECT_EQ(table.LineFor(*table.Module(1), Route::Link),
              " 746x     1   20.000 108.560    92.115    0.000    0.000  20.000");
}

TEST_F(AnalogDrivers, Voltage747xLines) {
    ScriptedModule& mod = script("747x", 5);
    std::vector<std::uint8_t> reply = triple(1073742, 2147484, 0);
    reply[6] = 0x34;  // third reading: 16 bits used
    reply[7] = 0x12;
    reply[8] = 0x7F;
    mod.answer(2, reply);
    dir.write("tp747x.cfg", "747x 1 1 23 5 2500.0\n");
    ModelTable<Tp747xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp747x& m = *table.Module(1);
    EXPECT_EQ(poll(table), std::vector<std::string>{"747x 1  10.000  20.000   0.043"});
    EXPECT_EQ(m.RawC16(), 0x1234);
    EXPECT_NEAR(m.Volts(3), 0x1234 * 2500.0 / 268435456, 1e-12);
    EXPECT_EQ(table.LineFor(m, Route::Dat), " 747x     1    10.000   20.000    0.043");
    EXPECT_EQ(table.LineFor(m, Route::Console), " 747x     1   10.000  20.000   0.043");
    EXPECT_EQ(table.LineFor(m, Route::Link), " 747x     1   10.000");
    sim::Fault refuse;
    refuse.kind = sim::FaultKind::Refuse;
    refuse.times = sim::kForever;
    bench.injectFault(refuse);
    const struct {
        Route route;
        const char* text;
    } failed[] = {{Route::Dat, " 747x     1  Err 5"},
                  {Route::Console, " 747x    1  Err 5"},
                  {Route::Reply, "747x 1 Err 5"},
                  {Route::Link, " 747x     1  Err 5"}};
    for (const auto& f : failed) EXPECT_EQ(table.LineFor(m, f.route), f.text);
    EXPECT_NEAR(m.Volts(1), 10.0000016, 1e-7) << "recomputed from the last codes";
}

TEST_F(AnalogDrivers, Current748xShuntAtTenAndPlaceholders) {
    ScriptedModule& mod = script("748x", 5);
    // Reference 4096 mV: 4096 codes per mV. Channel 1 over 100 Ω at 8 mA;
    // channels 2 and 3 over 5 Ω just below and at a 5 Ω shunt-at-10.
    mod.answer(2, triple(800 * 4096, 204400, 204800));
    dir.write("tp748x.cfg", "748x 1 1 23 5 4096 100 5 5\n");
    ModelTable<Tp748xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp748x& m = *table.Module(1);
    const struct {
        Route route;
        const char* text;
    } lines[] = {
        {Route::Reply, "748x     1     8.000   9.980  10.000 0  0    5.000"},
        {Route::Dat, " 748x     1     8.000    9.980   10.000    0        0        5.000"},
        {Route::Console, " 748x     1     8.000   9.980  10.000     0          0         5.000"},
        {Route::Link, " 748x     1     8.000   9.980  10.000      0           0        5.000"},
    };
    for (const auto& l : lines) EXPECT_EQ(table.LineFor(m, l.route), l.text);
    EXPECT_DOUBLE_EQ(m.ShuntAt10(2), 4.990234375);

    const struct {
        std::uint32_t code;
        double amps;
        double shuntAt10;
    } channel1[] = {{800 * 4096, 8, 0}, {1000 * 4096, 10, 100}, {1200 * 4096, 12, 0}};
    for (const auto& c : channel1) {
        mod.setAnswer(2, triple(c.code, 0, 0));
        mod.requests.clear();
        EXPECT_DOUBLE_EQ(m.MeasureAmps(), c.amps);
        EXPECT_DOUBLE_EQ(m.ShuntAt10(1), c.shuntAt10);
        EXPECT_EQ(mod.requests.size(), 1u);
    }
}

TEST_F(AnalogDrivers, Current748tSixteenChannelsAndShuntColumns) {
    ScriptedModule& mod = script("748t", 5);
    std::vector<std::uint8_t> first, second;
    for (int k = 1; k <= 8; ++k) putBytes(first, (k == 1 || k == 8) ? 0xF000 | 1638 : 0, 2);
    for (int k = 9; k <= 16; ++k) putBytes(second, k == 9 ? 1300 : (k == 16 ? 4095 : 0), 2);
    mod.answer(2, first);
    mod.answer(3, second);
    dir.write("tp748t.cfg", "748t 1 1 23 5 100 100\n");
    ModelTable<Tp748tTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp748t& m = *table.Module(1);
    const std::string i1 = "  9.998", i9 = "  7.935", i16 = " 24.994", z = "  0.000";
    const std::string mid = z + " " + z + " " + z + " " + z + " " + z + " " + z + " ";
    EXPECT_EQ(table.LineFor(m, Route::Reply), "748t     1   " + i1 + " " + mid + i1 + " " + i9 +
                                                  " " + z + " " + z + " " + z + " " + z + " " + z +
                                                  " " + z + " " + i16 + "    99.976 0.000");
    ASSERT_EQ(mod.requests.size(), 2u);
    EXPECT_EQ(mod.requests[0].command, 2);
    EXPECT_EQ(mod.requests[1].command, 3);
    EXPECT_NEAR(m.Amps(16), 4095.0 / 4096 * 2500 / 100, 1e-12);
    EXPECT_EQ(m.Codes16(1), 1638) << "only the low 12 bits count";

    std::string dat = " 748t     1   " + i1;
    std::string console = " 748t     1   " + i1;
    std::string link = " 748t     1  " + i1;
    const std::string rest[] = {z, z, z, z, z, z, i1, i9, z, z, z, z, z, z, i16};
    for (const std::string& v : rest) {
        dat += "  " + v;
        console += " " + v;
        link += " " + v;
    }
    EXPECT_EQ(table.LineFor(m, Route::Dat), dat + "   99.976    0    ");
    EXPECT_EQ(table.LineFor(m, Route::Console), console + "    99.976     0     ");
    EXPECT_EQ(table.LineFor(m, Route::Link), link);
}

TEST_F(AnalogDrivers, GroupReplyCarriesChannelEightFirst) {
    ScriptedModule& mod = script("745b", 5);
    std::vector<std::uint8_t> reply = {3};
    putBytes(reply, 1000, 2);
    for (int channel = 8; channel >= 1; --channel) putBytes(reply, 100 * channel, 2);
    mod.answer(2, reply);
    dir.write("tp745b.cfg", "745b 1 1 23 5 100 100 150 100 1\n");
    ModelTable<Tp745bTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp745b& m = *table.Module(1);
    m.MeasureGroup();
    EXPECT_EQ(m.Group(), 3);
    EXPECT_EQ(m.GroupNo(), 3);
    EXPECT_EQ(m.RefCode(), 1000);
    for (int channel = 1; channel <= 8; ++channel) {
        EXPECT_EQ(m.ChanCode(channel), 100 * channel);
        // Group 3: 150 Ω over a reading of 1000, the factor in single precision.
        EXPECT_DOUBLE_EQ(m.ChanR(channel), static_cast<double>(0.15f) * (100.0 * channel));
    }
    EXPECT_DOUBLE_EQ(m.Ret100(), 100.0 / 100 * 1000);
}

TEST_F(AnalogDrivers, ThirtyTwoChannelCorrectionsFromTheSiteFiles) {
    device("745b", 5);
    setRtd(100);
    std::string g1 = "2\n7\n1\n";
    for (int j = 1; j <= 32; ++j) g1 += "50\n";  // module 7's block
    for (int j = 1; j <= 32; ++j) g1 += std::to_string(10 + j % 3) + " sensor\n";
    dir.write("g1.cfg", g1);
    dir.write("corr1.cfg", "; point  correction\n12 0,10\n11 0.05\n\n12 0.15\n50 3\n");
    dir.write("tp745b.cfg", "745b 1 1 23 5 100 100 100 100 1\n");
    ModelTable<Tp745bTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp745b& m = *table.Module(1);
    for (int j = 1; j <= 32; ++j) {
        const int point = 10 + j % 3;
        EXPECT_EQ(m.GetChanParam(j), point) << "channel " << j;
        const float expected = point == 12 ? 0.15f : point == 11 ? 0.05f : 0.0f;
        EXPECT_FLOAT_EQ(m.GetChanOffset(j), expected) << "channel " << j;
    }
    // Group 1 first: 100 Ω on every channel less the channel's correction.
    const std::vector<std::string> lines = poll(table);
    ASSERT_EQ(lines.size(), 1u);
    auto correction = [](int channel) {
        const int point = 10 + channel % 3;
        return point == 12 ? 0.15 : point == 11 ? 0.05 : 0.0;
    };
    std::string temperatures, resistances;
    for (int j = 1; j <= 8; ++j) {
        temperatures += " " + Field73(m.RtoT(100 - correction(j)));
        resistances += " " + Field73(100 - correction(j));
    }
    EXPECT_EQ(lines[0], "745b 1 1" + temperatures + resistances + " 100.000");
    EXPECT_EQ(m.ChanR(2), 100 - 0.15);
    // The next poll brings group 2 (channels 9..16); the data file ends its
    // line with a blank.
    const std::string dat = table.LineFor(m, Route::Dat);
    EXPECT_EQ(dat.substr(0, 9), "745b 1 2 ");
    EXPECT_EQ(dat.back(), ' ');
    for (int j = 1; j <= 8; ++j)
        EXPECT_EQ(m.ChanR(j), 100 - correction(8 + j)) << "channel " << 8 + j;
}

TEST_F(AnalogDrivers, SiteFilesThatDescribeNoModuleLoadNothing) {
    device("745b", 5);
    const struct { const char* g1; } cases[] = {{"9\n1\n"}, {"0\n"}, {"2\n7\n8\n"}, {"x\n1\n"}};
    for (const auto& c : cases) {
        dir.write("g1.cfg", c.g1);
        dir.write("corr1.cfg", "12 0.15\n");
        dir.write("tp745b.cfg", "745b 1 1 23 5 100 100 100 100 1\n");
        ModelTable<Tp745bTraits> table(ctx);
        ASSERT_EQ(table.LoadCfg(), 0);
        for (int j = 1; j <= 32; ++j) {
            EXPECT_EQ(table.Module(1)->GetChanParam(j), 0) << c.g1;
            EXPECT_EQ(table.Module(1)->GetChanOffset(j), 0) << c.g1;
        }
    }
}

// A site file that is there but cannot be read stops the load with its path
// and the reason; the module set then stops the program with that message.
TEST_F(AnalogDrivers, UnreadableSiteFilesFailTheLoadWithFileAndReason) {
    device("745b", 5);
    dir.write("tp745b.cfg", "745b 1 1 23 5 100 100 100 100 1\n");
    const struct {
        const char* name;
        std::string g1;
        std::string reason;
    } cases[] = {
        {"g1.cfg", "", ": это каталог"},
        {"corr1.cfg", "1\n1\n", ": это каталог"},
        {"g1.cfg", "1\n1\n" + std::string(70'000, '5'), ", строка 3: строка длиннее 65536 байт"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        std::filesystem::remove_all(dir.file("g1.cfg"));
        std::filesystem::remove_all(dir.file("corr1.cfg"));
        if (!c.g1.empty()) dir.write("g1.cfg", c.g1);
        if (!std::filesystem::exists(dir.file(c.name)))
            std::filesystem::create_directory(dir.file(c.name));
        ModelTable<Tp745bTraits> table(ctx);
        CfgError error;
        EXPECT_EQ(table.LoadCfg(&error), -1);
        EXPECT_EQ(error.message(), dir.file(c.name) + c.reason);
    }
}

}  // namespace
}  // namespace yukt::test
