// The calibrator's reference modules with raw frames: what the generators are
// told is what the inputs measure, decoded with the formulas of the drivers.

#include <gtest/gtest.h>

#include <cmath>

#include "raw_line.h"
#include "sim/bench.h"
#include "sim/calibrator.h"
#include "sim/device_table.h"

namespace yukt::sim {
namespace {

using simtest::Bytes;
using simtest::exchange;
using simtest::le;

Bytes setPoint(std::uint8_t mode, unsigned code) {
    return {mode,
            static_cast<std::uint8_t>(code & 0xFF),
            static_cast<std::uint8_t>(code >> 8),
            1,
            0,
            0x00,
            0x7D};
}

struct Reading745t {
    double rx;  // ohm, with the reference resistor the module keeps
    double ix;  // mA, with the shunt the module keeps
};

// The driver's conversion: Rx = Rref / A * B; U = C / 256 * 2500 / 65536; I = U / Rshunt.
Reading745t read745t(ByteTransport& host, int address, double rref, double rshunt) {
    const auto r = exchange(host, address, 2);
    EXPECT_TRUE(r && r->accepted() && r->data.size() == 9);
    if (!r || r->data.size() != 9) return {};
    const double a = le(r->data, 0, 3), b = le(r->data, 3, 3), c = le(r->data, 6, 3);
    return {rref / a * b, c / 256.0 * (2500.0 / 65536.0) / rshunt};
}

class Calibrator : public ::testing::Test {
  protected:
    Calibrator() {
        bench.installCalibrator(true);
        auto mut = makeDevice("745t");
        mut->flash().setParam(2, 49.9);
        mut->flash().setParam(5, 100.0);
        bench.plugUnderTest(std::move(mut));
        host = bench.connect();
    }
    Bench bench;
    std::unique_ptr<ByteTransport> host;
};

TEST_F(Calibrator, TheGeneratorCurrentIsWhatTheInputsMeasure) {
    const struct {
        std::uint8_t mode;
        unsigned code;
        double mA;
    } cases[] = {
        {0x13, 32767, 24.0 * 32767 / 65535},  // Режим 6, the calibrator's own mode
        {0x03, 65535, 24.0},
        {0x23, 0, 0.0},
        {0x43, 27309, 24.0 * 27309 / 65535},
        {0x01, 32767, 4.0 + 16.0 * 32767 / 65535},
        {0x01, 0, 4.0},
        {0x02, 65535, 20.0},
        {0x04, 40000, 0.0},  // CLEAR
        {0x00, 32767, 0.0},  // voltage output: no loop current
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mA);
        const auto r = exchange(*host, 1, 1, setPoint(c.mode, c.code));
        ASSERT_TRUE(r && r->accepted());
        EXPECT_TRUE(r->data.empty());
        EXPECT_NEAR(read745t(*host, 0, 100.0, 49.9).ix, c.mA, 1e-4);
        EXPECT_NEAR(read745t(*host, 4, kMeterReferenceOhm, kMeterShuntOhm).ix, c.mA, 1e-4);
    }
}

TEST_F(Calibrator, TheGeneratorRefusesWhatItCannotDo) {
    for (const Bytes& bad : {setPoint(0x05, 1), setPoint(0x33, 1), Bytes{0x13, 0, 0}, Bytes{}}) {
        const auto r = exchange(*host, 1, 1, bad);
        ASSERT_TRUE(r);
        EXPECT_FALSE(r->accepted());
    }
    const auto other = exchange(*host, 1, 2);
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->accepted());
}

TEST_F(Calibrator, AGeneratorUnderTestDrivesTheMeter) {
    bench.plugUnderTest(makeDevice("787x"));
    ASSERT_TRUE(exchange(*host, 1, 1, setPoint(0x13, 32767)));
    ASSERT_TRUE(exchange(*host, 0, 1, setPoint(0x13, 65535 / 3)));
    EXPECT_NEAR(read745t(*host, 4, kMeterReferenceOhm, kMeterShuntOhm).ix, 8.0, 1e-4);
    bench.unplugUnderTest();
    EXPECT_NEAR(read745t(*host, 4, kMeterReferenceOhm, kMeterShuntOhm).ix, 12.0, 1e-3);
}

TEST_F(Calibrator, InputsCarryTheConfiguredErrorAndTheRtd) {
    ASSERT_TRUE(exchange(*host, 1, 1, setPoint(0x13, 65535 / 2)));
    bench.physics().currentErrorMa = 0.015;
    EXPECT_NEAR(read745t(*host, 0, 100.0, 49.9).ix, 12.015, 1e-3);
    for (double ohm : {55.5, 100.0, 139.1, 287.13}) {
        bench.physics().rtdOhm = ohm;
        EXPECT_NEAR(read745t(*host, 0, 100.0, 49.9).rx, ohm, 1e-4);
        EXPECT_NEAR(read745t(*host, 4, kMeterReferenceOhm, kMeterShuntOhm).rx, ohm, 1e-4);
    }
}

// ---- The frequency and interval generator ----

class FrequencyGenerator : public ::testing::Test {
  protected:
    static constexpr double kQuartz = 7374.6075308;
    FrequencyGenerator() {
        auto g = makeDevice("788t");
        g->flash().setParam(1, kQuartz);
        bench.place(2, std::move(g), Role::FrequencyGenerator);
        // Traffic moves the bench clock; keep it out of the pulse arithmetic.
        bench.setLineSpeed(1'000'000'000);
        host = bench.connect();
        s = Flash::paramTextOf(kQuartz) == "7374,60753" ? 7374.60753 / 4000 : 0;
    }

    // MeasuredCount as the driver forms it from the counters reply.
    double measuredCount(double widthTicks) {
        const auto r = exchange(*host, 2, 3);
        EXPECT_TRUE(r && r->accepted() && r->data.size() == 7);
        if (!r || r->data.size() != 7) return -1;
        const double n = le(r->data, 0, 3);
        const double a = le(r->data, 3, 2) / s;
        const double b = (65536.0 - le(r->data, 5, 2)) / s;
        const double period = b, width = widthTicks / s;
        return n - 1 + (period - width) / period + a / b;
    }

    Bench bench;
    std::unique_ptr<ByteTransport> host;
    double s = 0;  // timer ticks per microsecond
};

TEST_F(FrequencyGenerator, IntervalsCountThePulsesTheyHold) {
    // 100 Hz: r = 18437 ticks, D = 47099; an interval of 0.5 s is 921826 ticks.
    const unsigned d = 47099, r = 18437, half = 9218;
    const double t = 921826;
    const struct {
        const char* name;
        int command;
        Bytes data;
    } cases[] = {
        {"over running pulses", 1, {3, 14, 0, 0xE2, 0x10}},
        {"backward", 4, {0xFB, 0xB7, 0x90, 0x01, half & 0xFF, half >> 8, 12, 0, 0xE2, 0x10}},
        {"forward", 2, {0xFB, 0xB7, 0x90, 0x01, half & 0xFF, half >> 8, 12, 0, 0xE2, 0x10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(exchange(*host, 2, 1, {1, d & 0xFF, d >> 8}));
        bench.clock().advance(0.123);
        ASSERT_TRUE(exchange(*host, 2, c.command, c.data));
        ASSERT_TRUE(bench.physics().gate.armed());
        EXPECT_NEAR(bench.physics().gate.close - bench.physics().gate.open, t * 4 / 7374607.53,
                    1e-9);
        EXPECT_NEAR(bench.physics().pulses.frequencyHz(), 7374607.53 / 4 / r, 1e-6);
        bench.clock().advance(0.25);
        const double midway = measuredCount(half);
        EXPECT_GT(midway, 20);
        EXPECT_LT(midway, 30);
        bench.clock().advance(1.0);
        EXPECT_NEAR(measuredCount(half), t / r, 1e-3);
        bench.clock().advance(1.0);
        EXPECT_NEAR(measuredCount(half), t / r, 1e-3);  // the interval is over: no change
    }
    ASSERT_TRUE(exchange(*host, 2, 1, {2}));
    EXPECT_FALSE(bench.physics().pulses.running());
}

TEST_F(FrequencyGenerator, TheDividerCheckCountsAgainstControlPulses) {
    const unsigned d = 47099;
    const double period = 18437 * 4 / 7374607.53;
    auto count = [&]() -> long {
        const auto r = exchange(*host, 2, 1, {5});
        EXPECT_TRUE(r && r->data.size() == 5);
        if (!r || r->data.size() != 5) return 0;
        const std::uint32_t v = le(r->data, 1, 4);
        const long low = v & 0x7FFFFF;
        return (v & 0x800000) ? low : -low;  // the driver's reading
    };
    bench.physics().feedbackDivider = 4;  // a divider of 4 under test
    ASSERT_TRUE(exchange(*host, 2, 1, {4, d & 0xFF, d >> 8, 3, 10, 0}));
    EXPECT_EQ(count(), 0);  // preset: 3 control pulses
    bench.clock().advance(period * 4 * 2.5);
    EXPECT_EQ(count(), 0);
    bench.clock().advance(period * 4 * 1.0);
    EXPECT_LT(count(), 0);  // counting
    bench.clock().advance(period * 4 * 12);
    EXPECT_EQ(count(), 40);               // 10 control pulses of 4 generator pulses
    bench.physics().feedbackDivider = 0;  // nothing comes back
    EXPECT_EQ(count(), 0);
}

// What a 735x has counted and latched stays as it was when the generator is
// programmed anew: its pulse counter and timer only go forward, and the
// events of the last interval keep their times, edges and pulse count.
TEST_F(FrequencyGenerator, ReprogrammingKeepsWhatTheInputsHaveSeen) {
    bench.plugUnderTest(makeDevice("735x"));
    struct Seen {
        Bytes counters, status, times, edges, pulses;
    };
    auto look = [&] {
        auto data = [&](int command, Bytes request) {
            const auto r = exchange(*host, 0, command, request);
            EXPECT_TRUE(r && r->accepted());
            return r ? r->data : Bytes{};
        };
        return Seen{data(3, {}), data(5, {1}), data(5, {2}), data(5, {3}), data(5, {4})};
    };
    const unsigned d100 = 47099;  // 100 Hz
    ASSERT_TRUE(exchange(*host, 0, 5, {0}));
    ASSERT_TRUE(exchange(*host, 2, 1, {1, d100 & 0xFF, d100 >> 8}));
    bench.clock().advance(0.05);
    // A 0.2 s interval over the running pulses: 368730 ticks = 5 spans + 41050.
    ASSERT_TRUE(exchange(*host, 2, 1, {3, 5, 0, 41050 & 0xFF, 41050 >> 8}));
    bench.clock().advance(0.5);
    const Seen before = look();
    ASSERT_EQ(before.status, Bytes{0x0F});
    ASSERT_EQ(le(before.pulses, 0, 4), 20u);

    // Other frequencies (as "Set 788t 1 F 3" sends them), the output off, and back.
    for (const Bytes& program : {Bytes{1, 0x00, 0xF0}, Bytes{2}, Bytes{1, 0x10, 0x27}}) {
        SCOPED_TRACE(static_cast<int>(program[0]));
        ASSERT_TRUE(exchange(*host, 2, 1, program));
        bench.clock().advance(0.3);
        const Seen after = look();
        EXPECT_EQ(after.status, before.status);
        EXPECT_EQ(after.times, before.times);
        EXPECT_EQ(after.edges, before.edges);
        EXPECT_EQ(after.pulses, before.pulses);
        EXPECT_GE(le(after.counters, 0, 4), le(before.counters, 0, 4));
        EXPECT_GE(le(after.counters, 4, 4), le(before.counters, 4, 4));
    }
}

TEST_F(FrequencyGenerator, RefusesMalformedRequests) {
    for (const auto& [command, data] : std::vector<std::pair<int, Bytes>>{
             {1, {}}, {1, {1, 0}}, {1, {3, 1, 2}}, {1, {9}}, {4, {1, 2, 3}}, {3, {1}}, {5, {}}}) {
        const auto r = exchange(*host, 2, command, data);
        ASSERT_TRUE(r);
        EXPECT_FALSE(r->accepted());
    }
}

}  // namespace
}  // namespace yukt::sim
