// The arithmetic of the frequency, count and interval modules, without I/O.

#include "modules/tp73calc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace yukt {
namespace {

constexpr double kQuartz735x = 7374.2978;

TEST(Tp73Calc, FrequencyAndQuartzFromTwoReads) {
    struct Case {
        const char* what;
        std::int32_t p0, t0, p1, t1;
        double quartzKHz;
        double frequency;
        double measuredQuartz;
    };
    const std::vector<Case> cases = {
        {"1000 pulses over 1843574 ticks", 0, 0, 1000, 1843574, kQuartz735x, 1000.0002, 7374.296},
        {"100 Hz reference", 5, 7, 105, 7 + 1843574, kQuartz735x, 100.00002, 7374.296},
        {"counters unchanged", 77, 99, 77, 99, kQuartz735x, 0, 0},
        {"no new pulse", 77, 99, 77, 1000, kQuartz735x, 0, 0},
        {"counters wrap past 2^31", 0x7FFFFF00, 0x7FFF0000, static_cast<std::int32_t>(0x800002E8),
         static_cast<std::int32_t>(0x801B2176), kQuartz735x, 1000.0002, 7374.296},
        {"counters wrap past 2^32", -500, -1000000, 500, 843574, kQuartz735x, 1000.0002, 7374.296},
        {"50 Hz: outside both windows", 0, 0, 50, 1843574, kQuartz735x, 50.00001, 0},
    };
    for (const Case& c : cases) {
        CounterChannel ch;
        ch.FlowCount = c.p0;
        ch.TimeCount = c.t0;
        const CounterStep step = UpdateCounters(ch, c.p1, c.t1, 4000.0 / c.quartzKHz);
        EXPECT_NEAR(ch.Frequency, c.frequency, 1e-4) << c.what;
        EXPECT_NEAR(step.MeasuredQuartzKHz, c.measuredQuartz, 1e-6) << c.what;
        EXPECT_EQ(ch.FlowCount, c.p1) << c.what;
        EXPECT_EQ(ch.TimeCount, c.t1) << c.what;
    }
}

TEST(Tp73Calc, QuartzWindowBounds) {
    struct Case {
        double frequency;
        bool estimated;
    };
    const std::vector<Case> cases = {
        {989.999, false},  {990, true},     {1000, true}, {1100, true},
        {1100.001, false}, {89.999, false}, {90, true},   {110, true},
        {110.001, false},  {500, false},    {0, false},
    };
    for (const Case& c : cases) {
        const double q = QuartzEstimate(c.frequency, 1000, 1843574);
        if (c.estimated)
            EXPECT_GT(q, 0) << c.frequency;
        else
            EXPECT_EQ(q, 0) << c.frequency;
    }
    // The 100 Hz window scales the pulse count by 10000 instead of 1000.
    EXPECT_NEAR(QuartzEstimate(1000, 1000, 1843574), 7374.296, 1e-6);
    EXPECT_NEAR(QuartzEstimate(100, 100, 1843574), 7374.296, 1e-6);
}

TEST(Tp73Calc, OutputBytes) {
    struct Case {
        int out1, out2, rele1, rele2;
        std::uint8_t x, y;
    };
    const std::vector<Case> cases = {
        {1, 1, 0, 0, 0xFF, 0xFF}, {1, 1, 1, 1, 0xFF, 0x3F}, {0, 0, 0, 0, 0x3F, 0xFF},
        {1, 0, 1, 0, 0x7F, 0xBF}, {0, 1, 0, 1, 0xBF, 0x7F},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OutputsByteX(c.out1, c.out2), c.x);
        EXPECT_EQ(OutputsByteY(c.rele1, c.rele2), c.y);
    }
}

TEST(Tp73Calc, DividerEncoding) {
    struct Case {
        double d;
        std::array<std::uint8_t, 4> bytes;
    };
    const std::vector<Case> cases = {
        {2.0, {0x00, 0x01, 0x00, 0x00}},
        {65535.9999, {0x7F, 0xFF, 0x99, 0x99}},
        {1.0, {0x00, 0x00, 0x50, 0x00}},
        {3.5, {0x00, 0x01, 0x75, 0x00}},
        {1000.2468, {0x01, 0xF4, 0x12, 0x34}},
        {0.0, {0x00, 0x00, 0x00, 0x00}},
        // Values the module cannot hold are clamped, never wrapped.
        {-0.5, {0x00, 0x00, 0x00, 0x00}},
        {131072.0, {0xFF, 0xFF, 0x99, 0x99}},
        {1e9, {0xFF, 0xFF, 0x99, 0x99}},
    };
    for (const Case& c : cases) EXPECT_EQ(EncodeDivider(c.d), c.bytes) << c.d;
}

TEST(Tp73Calc, EventOrderFollowsTheFirstCompletePair) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> statuses;
        std::uint8_t order;
    };
    const std::vector<Case> cases = {
        {"pair 1 only", {0x05}, kOrderPair1},
        {"pair 1, then both", {0x05, 0x0F}, kOrderPair1},
        {"pair 2, then both", {0x0A, 0x0F}, kOrderPair2},
        {"both at once keeps the default", {0x0F}, kOrderNone},
        {"cleared again", {0x05, 0x00}, kOrderNone},
        {"half a pair keeps the order", {0x0A, 0x01}, kOrderPair2},
        {"pair 1 after pair 2", {0x0A, 0x05}, kOrderPair1},
    };
    for (const Case& c : cases) {
        std::uint8_t order = kOrderNone;
        for (std::uint8_t s : c.statuses) order = UpdateEventOrder(DecodeEventStatus(s), order);
        EXPECT_EQ(order, c.order) << c.what;
    }
}

TEST(Tp73Calc, IntervalAndFractionalCount) {
    struct Case {
        const char* what;
        std::uint8_t status;
        std::uint8_t order;
        std::int32_t time1, time2;
        std::uint16_t e1a, e1b, e2a, e2b;
        std::int32_t pulses;
        std::int64_t interval;
        double count;
    };
    const std::vector<Case> cases = {
        {"nothing detected", 0x00, kOrderNone, 100, 900, 0, 0, 0, 0, 7, 0, 0},
        {"pair 1 only", 0x05, kOrderPair1, 100, 900, 0, 0, 0, 0, 7, 0, 6},
        {"partial with no pulses is not -1", 0x05, kOrderPair1, 100, 900, 0, 0, 0, 0, 0, 0, 0},
        // f1 = (150 - 100) / 200 = 0.25, f2 = (1000 - 900) / 400 = 0.25
        {"both, pair 1 first", 0x0F, kOrderPair1, 100, 900, 150, 350, 1000, 1400, 10, 800, 10.0},
        // f1 = (200 - 100) / 200 = 0.5, f2 = (1000 - 900) / 400 = 0.25
        {"both, order 0", 0x0F, kOrderPair1, 100, 900, 200, 400, 1000, 1400, 10, 800, 10.25},
        // f1 = (1000 - 900) / 400 = 0.25, f2 = (200 - 100) / 200 = 0.5
        {"both, order 1", 0x0F, kOrderPair2, 900, 100, 1000, 1400, 200, 400, 10, 800, 10.25},
        // Equal edges: the period counts as 65535 ticks, not 0.
        {"equal edge times", 0x0F, kOrderPair1, 0, 0, 65535, 65535, 0, 1, 3, 0, 4.0},
        // Only the low 16 bits of the event times take part.
        {"event times above 16 bits", 0x0F, kOrderPair1, 0x10064, 0x20384, 150, 350, 1000, 1400, 10,
         0x10320, 10.0},
    };
    for (const Case& c : cases) {
        EventCapture e;
        e.Status = DecodeEventStatus(c.status);
        e.Order = c.order;
        e.EventTime1 = c.time1;
        e.EventTime2 = c.time2;
        e.Edge1A = c.e1a;
        e.Edge1B = c.e1b;
        e.Edge2A = c.e2a;
        e.Edge2B = c.e2b;
        e.PulseCount = c.pulses;
        EXPECT_EQ(EventInterval(e), c.interval) << c.what;
        EXPECT_NEAR(FractionalCount(e), c.count, 1e-9) << c.what;
    }
}

TEST(Tp73Calc, ControlCharactersReadAsQuestionMarks) {
    EXPECT_EQ(ReplaceControlChars(std::string("ABCDEFGHIJ\x01\x02\x1F \0\n", 16)),
              "ABCDEFGHIJ??????");
    EXPECT_EQ(ReplaceControlChars("a!b\xC0"), "a!b\xC0");
}

}  // namespace
}  // namespace yukt
