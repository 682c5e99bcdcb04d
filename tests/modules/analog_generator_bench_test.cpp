// The generators end to end: the requests they put on the line at start-up
// and for "Set" commands, their handling of refusals, unsupported modes and
// absent modules, and their result lines.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analog_bench.h"
#include "modules/tp745t.h"
#include "modules/tp787d.h"
#include "modules/tp787x.h"

namespace yukt::test {
namespace {

using Generators = AnalogBench;
using Bytes = std::vector<std::uint8_t>;

TEST_F(Generators, SetPointRequestsOf787x) {
    ScriptedModule& gen = script("787x", 1);
    dir.write("tp787x.cfg", "787x 1 1 23 1  4  6\n");
    ModelTable<Tp787xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp787x& m = *table.Module(1);
    // Start-up: Режим 6 with the cfg set-point of 4 mA (code 10922).
    ASSERT_EQ(gen.requests.size(), 1u);
    EXPECT_EQ(gen.requests[0].command, 1);
    EXPECT_EQ(gen.requests[0].data, (Bytes{0x13, 0xAA, 0x2A, 0x01, 0x00, 0x00, 0x7D}));
    EXPECT_EQ(m.SetPoint(), 4);

    const struct {
        int rezhim;
        double x;
        Bytes request;
        const char* reply;
    } cases[] = {
        {2, 12, {0x01, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x7D}, "787x 1   12.00000  2"},
        {2, 25, {0x01, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x7D}, "787x 1   25.00000  2"},
        {2, 3, {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x7D}, "787x 1    3.00000  2"},
        {3, 21, {0x02, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x7D}, "787x 1   21.00000  3"},
        {4, 24, {0x03, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x7D}, "787x 1   24.00000  4"},
        {4, -3, {0x03, 0x00, 0x00, 0x01, 0x00, 0x00, 0x7D}, "787x 1   -3.00000  4"},
        {1, 2500, {0x00, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x7D}, "787x 1  2500.00000  1"},
        {8, 12, {0x43, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x7D}, "787x 1   12.00000  8"},
        {9, 10, {0x03, 0xAD, 0x6A, 0x01, 0x00, 0x00, 0x7D}, "787x 1   10.00000  9"},
        // CLEAR: the mode byte 0x04 with the codes of the previous set-point.
        {5, 7, {0x04, 0xAD, 0x6A, 0x01, 0x00, 0x00, 0x7D}, "787x 1   10.00000  5"},
        {0, 7, {0x04, 0xAD, 0x6A, 0x01, 0x00, 0x00, 0x7D}, "787x 1   10.00000  128"},
    };
    for (const auto& c : cases) {
        gen.requests.clear();
        SetModule(table, 1, c.rezhim, c.x);
        ASSERT_EQ(gen.requests.size(), 1u) << "Режим " << c.rezhim;
        EXPECT_EQ(gen.requests[0].data, c.request) << "Режим " << c.rezhim << ", " << c.x;
        EXPECT_EQ(m.Error(), kErrOk);
        EXPECT_EQ(table.LineFor(m, Route::Reply), c.reply);
    }
    EXPECT_EQ(m.Mode(), 255) << "Режим 0 wraps to 255 and is printed as 128";
    SetModule(table, 1, 4, 12);
    EXPECT_EQ(table.LineFor(m, Route::Link), " 787x     1    12.00000   4");

    gen.requests.clear();
    SetModule(table, 2, 4, 12);
    EXPECT_TRUE(gen.requests.empty()) << "no module numbered 2";
}

TEST_F(Generators, ReloadDrivesThePresentGeneratorAgain) {
    ScriptedModule& gen = script("787x", 1);
    dir.write("tp787x.cfg", "787x 1 1 23 1  4  6\n");
    ModelTable<Tp787xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    dir.write("tp787x.cfg", "787x 1 1 23 1  12  2\n");
    gen.requests.clear();
    EXPECT_EQ(table.ReloadModule(1), 0);
    ASSERT_EQ(gen.requests.size(), 1u);
    EXPECT_EQ(gen.requests[0].data, (Bytes{0x01, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x7D}));
    EXPECT_EQ(table.LineFor(*table.Module(1), Route::Reply), "787x 1   12.00000  2");
}

TEST_F(Generators, RefusedAndUnansweredSetPoints) {
    script("787x", 1);
    dir.write("tp787x.cfg", "787x 1 1 23 1  4  6\n787x 1 1 23 3  4  6\n");
    ModelTable<Tp787xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp787x& present = *table.Module(1);
    Ttp787x& absent = *table.Module(2);
    EXPECT_EQ(absent.Error(), kErrNoAnswer);

    const struct {
        sim::FaultKind kind;
        int result;
    } faults[] = {{sim::FaultKind::Refuse, -3}, {sim::FaultKind::Silence, -2}};
    for (const auto& f : faults) {
        sim::Fault fault;
        fault.kind = f.kind;
        fault.address = 1;
        bench.injectFault(fault);
        EXPECT_EQ(present.SendSetPoint(), f.result);
        EXPECT_EQ(present.Error(), kErrExchange);
        EXPECT_EQ(table.LineFor(present, Route::Reply), "787x 1 Err 5");
        EXPECT_EQ(table.LineFor(present, Route::Link), " 787x     1  Err 5");
        EXPECT_EQ(present.SendSetPoint(), 0);
        EXPECT_EQ(present.Error(), kErrOk);
    }
    // The absent module with the same number is not driven.
    const auto before = bench.requestCount();
    SetModule(table, 1, 2, 12);
    EXPECT_EQ(bench.requestCount(), before + 1);
    EXPECT_EQ(absent.SetPoint(), 0);
    EXPECT_EQ(table.LineFor(absent, Route::Reply), "787x 1 Err 4");
    EXPECT_EQ(table.LineFor(absent, Route::Link), " 787x     1   Err 4");
}

TEST_F(Generators, Generator787xDrivesTheMeter) {
    device("787x", 1);
    device("745t", 4);
    dir.write("tp787x.cfg", "787x 1 1 23 1  4  6\n");
    dir.write("tp745t.cfg", "745t 1 1 23 4  100 100 1 2500\n");
    ModelTable<Tp787xTraits> gens(ctx);
    ModelTable<Tp745tTraits> meters(ctx);
    ASSERT_EQ(gens.LoadCfg(), 0);
    ASSERT_EQ(meters.LoadCfg(), 0);
    // Placed outside the calibrator's roles, the generator's current reaches
    // the meter only through the bench's physics.
    setCurrent(12);
    Ttp745t& meter = *meters.Module(1);
    meter.Measure();
    EXPECT_NEAR(meter.Current(), 12, 1e-5);
}

TEST_F(Generators, ChannelRequestsOf787d) {
    ScriptedModule& gen = script("787d", 2);
    dir.write("tp787d.cfg", "787d 1 1 23 2  12  2\n");
    ModelTable<Tp787dTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp787d& m = *table.Module(1);
    ASSERT_EQ(gen.requests.size(), 1u);
    EXPECT_EQ(gen.requests[0].command, 1);
    EXPECT_EQ(gen.requests[0].data, (Bytes{0x17, 0xFF}));
    EXPECT_EQ(table.LineFor(m, Route::Reply), "787d 1   12.00000  2");

    const struct {
        int rezhim;
        double x;
        int command;  // -1: nothing reaches the scripted device
        Bytes data;
        int error;
    } cases[] = {
        {1, 24, 1, {0x0F, 0xFF}, kErrOk},
        {4, 1, 1, {0x30, 0xAA}, kErrOk},
        {9, 30, 1, {0x3F, 0xFF}, kErrOk},  // Режим 9 drives channel 4; above 24 mA: 24
        {3, -2, 1, {0x20, 0x00}, kErrOk},  // negative: 0 mA instead of a wrapped code
        {6, 0, 2, {}, kErrOk},             // DAC reset
        {7, 5, -1, {}, kErrExchange},      // not supported: nothing sent
        {8, 5, -1, {}, kErrExchange},
        {10, 5, -1, {}, kErrExchange},
    };
    for (const auto& c : cases) {
        gen.requests.clear();
        m.SetError(kErrOk);
        SetModule(table, 1, c.rezhim, c.x);
        if (c.command < 0) {
            EXPECT_TRUE(gen.requests.empty()) << "Режим " << c.rezhim;
        } else {
            ASSERT_EQ(gen.requests.size(), 1u) << "Режим " << c.rezhim;
            EXPECT_EQ(gen.requests[0].command, c.command) << "Режим " << c.rezhim;
            EXPECT_EQ(gen.requests[0].data, c.data) << "Режим " << c.rezhim;
        }
        EXPECT_EQ(m.Error(), c.error) << "Режим " << c.rezhim;
    }
    EXPECT_EQ(table.LineFor(m, Route::Reply), "787d 1 Err 5");

    // Module reset (Режим 5): command 0, which every module answers itself.
    const auto before = bench.requestCount();
    m.SetError(kErrOk);
    SetModule(table, 1, 5, 0);
    EXPECT_EQ(bench.requestCount(), before + 1);
    EXPECT_TRUE(gen.requests.empty());
    EXPECT_EQ(m.Error(), kErrOk);
    EXPECT_EQ(table.LineFor(m, Route::Link), " 787d     1     0.00000   5");
}

TEST_F(Generators, ResetOf787dWithoutReplyIsErr5) {
    device("787d", 2);
    dir.write("tp787d.cfg", "787d 1 1 23 2  0  5\n");
    ModelTable<Tp787dTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp787d& m = *table.Module(1);
    EXPECT_EQ(m.Error(), kErrOk) << "start-up reset answered";
    EXPECT_EQ(m.Mode(), 4);
    sim::Fault silence;
    silence.kind = sim::FaultKind::Silence;
    bench.injectFault(silence);
    EXPECT_EQ(m.Reset(), -2);
    EXPECT_EQ(m.Error(), kErrExchange);
    EXPECT_EQ(m.Mode(), 4);
}

}  // namespace
}  // namespace yukt::test
