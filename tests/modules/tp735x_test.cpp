// The 735x driver against the simulated module through the real link code.

#include "modules/tp735x.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/text.h"
#include "freq_bench.h"
#include "number_word.h"

namespace yukt::freqtest {
namespace {

constexpr double kQuartz = 7374.2978;
constexpr int kAddr = 3;

class Tp735xBench : public FreqBench {
  protected:
    // Module number 2 on COM 1 at address 3, results to the component.
    Ttp735x& load(const std::string& cfg = "735x 2 1 23 3 7374.2978 1 1 0 0\n") {
        writeCfg("735x", cfg);
        EXPECT_EQ(table.LoadCfg(), 0);
        EXPECT_GE(table.ModuleCount(), 1);
        return *table.Module(1);
    }
    std::string poll(Ttp735x& m) { return table.LineFor(m, Route::Reply); }

    ModelTable<Tp735xTraits> table{ctx};
};

TEST_F(Tp735xBench, LoadingStartsTheModule) {
    RecordingModule& dev = place("735x", kAddr);
    Ttp735x& m = load();
    EXPECT_TRUE(m.Present());
    EXPECT_EQ(m.Error(), kErrOk);
    EXPECT_DOUBLE_EQ(m.QuartzKHz(), kQuartz);
    EXPECT_DOUBLE_EQ(m.TickUs(), 4000 / kQuartz);
    // Start-up: outputs OUT1, OUT2 on and both relays off, then a detector reset.
    ASSERT_EQ(dev.requests.size(), 2u);
    EXPECT_EQ(dev.requests[0].command, 1);
    EXPECT_EQ(dev.requests[0].data, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(dev.requests[1].command, 5);
    EXPECT_EQ(dev.requests[1].data, (std::vector<std::uint8_t>{0}));
}

TEST_F(Tp735xBench, BadColumnsKeepTheDefaults) {
    place("735x", kAddr);
    Ttp735x& m = load("735x 2 1 23 3 500 2 0 1 7\n");
    EXPECT_DOUBLE_EQ(m.QuartzKHz(), kQuartz);  // 500 kHz is refused
    EXPECT_EQ(m.Out1(), 1);                    // 2 is not a switch value
    EXPECT_EQ(m.Out2(), 0);
    EXPECT_EQ(m.Rele1(), 1);
    EXPECT_EQ(m.Rele2(), 0);
}

TEST_F(Tp735xBench, LineHeadCarriesTheCountersInHex) {
    place("735x", kAddr);
    Ttp735x& m = load();
    pulses(1.0);
    advance(123455.5);  // 123456 rising edges since the first at 0 s
    const std::string line = poll(m);
    const std::uint32_t lastEdgeTicks = static_cast<std::uint32_t>(
        std::fmod(std::floor(123455.0 * kQuartz * 1000 / 4), 4294967296.0));
    EXPECT_EQ(line.substr(0, 22), " 735x    2   $0001E240");
    EXPECT_EQ(line.substr(22, 2 + 9 + 1 + 10), "  " + Hex8(lastEdgeTicks) + " " + "   0.54242");
    EXPECT_EQ(m.FlowCount(), 123456);
    const std::vector<std::string> w = words(line);
    ASSERT_EQ(w.size(), 17u) << line;
    EXPECT_EQ(w[0], "735x");
    EXPECT_EQ(w[1], "2");
    EXPECT_EQ(w[9], "1");  // K1: the generator runs
    EXPECT_EQ(w[10], "0");
    EXPECT_EQ(w[13], "1");  // OUT1 OUT2 Rele1 Rele2 as configured
    EXPECT_EQ(w[14], "1");
    EXPECT_EQ(w[15], "0");
    EXPECT_EQ(w[16], "0");
}

TEST_F(Tp735xBench, ExactSpacingOfTheLine) {
    place("735x", kAddr);
    Ttp735x& m = load();
    const std::string line = poll(m);
    // Nothing counted, nothing detected: all counters 0.
    EXPECT_EQ(line,
              " 735x    2   $00000000  $00000000    0.54242     0 0      0.000     0.000000"
              "      0 0    0.0000       0.00000       1    1     0     0");
    EXPECT_EQ(m.LineHead() + m.LineTail(), line);
}

TEST_F(Tp735xBench, FrequencyAndQuartzFromConsecutivePolls) {
    place("735x", kAddr);
    Ttp735x& m = load();
    struct Case {
        double periodS;
        double frequency;
        bool quartzEstimated;
    };
    const std::vector<Case> cases = {
        {0.001, 1000, true}, {0.01, 100, true}, {1.0 / 2500, 2500, false}};
    for (const Case& c : cases) {
        pulses(c.periodS, bench.now());
        advance(0.3);
        poll(m);
        advance(2.0);
        const std::vector<std::string> w = words(poll(m));
        ASSERT_EQ(w.size(), 17u);
        EXPECT_NEAR(m.Frequency(), c.frequency, c.frequency * 1e-6) << c.frequency;
        EXPECT_NEAR(NumberWord(w[11]), c.frequency, 1e-3) << c.frequency;
        if (c.quartzEstimated) {
            EXPECT_NEAR(m.MeasuredQuartzKHz(), kQuartz, 0.01) << c.frequency;
        } else {
            EXPECT_EQ(m.MeasuredQuartzKHz(), 0) << c.frequency;
        }
        EXPECT_NEAR(NumberWord(w[12]), m.MeasuredQuartzKHz(), 1e-5);
    }
}

TEST_F(Tp735xBench, IntervalAndCountBetweenTwoEvents) {
    place("735x", kAddr);
    Ttp735x& m = load();
    pulses(0.01);
    {
        auto lk = bench.lock();
        bench.physics().gate.open = 0.505;
        bench.physics().gate.close = 1.505;
    }
    struct Step {
        double clockTo;
        const char* d1;
        const char* d2;
        int order;
    };
    // Before the gate, after its opening (status 0x05), after its closing (0x0F).
    const std::vector<Step> steps = {{0.3, "0", "0", 2}, {0.7, "1", "0", 0}, {2.0, "1", "1", 0}};
    for (const Step& s : steps) {
        advance(s.clockTo - bench.now());
        const std::string line = poll(m);
        const std::vector<std::string> w = words(line);
        ASSERT_EQ(w.size(), 17u) << line;
        EXPECT_EQ(w[5], s.d1) << s.clockTo;
        EXPECT_EQ(w[6], s.d2) << s.clockTo;
        EXPECT_EQ(m.EventOrder(), s.order) << s.clockTo;
        if (std::string(s.d2) == "1") {
            EXPECT_EQ(m.PulseCount(), 100);
            EXPECT_EQ(w[7], "100.000");  // 0.5 period before each event's first edge
            EXPECT_NEAR(NumberWord(w[8]), 1.0, 2e-6);
            EXPECT_EQ(m.EventInterval(),
                      std::llabs(static_cast<long long>(m.EventTime2()) - m.EventTime1()));
        } else if (std::string(s.d1) == "1") {
            EXPECT_EQ(w[7], Fix(m.PulseCount() - 1, 0, 3));
            EXPECT_EQ(w[8], "0.000000");
        } else {
            EXPECT_EQ(w[7], "0.000");
            EXPECT_EQ(w[8], "0.000000");
        }
    }
}

TEST_F(Tp735xBench, FailedStateRequestReportsErr5) {
    place("735x", kAddr);
    Ttp735x& m = load();
    bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 1});
    EXPECT_EQ(poll(m), " 735x    2   Err 5");
    EXPECT_EQ(m.Error(), kErrExchange);
    EXPECT_TRUE(m.Present());
    EXPECT_EQ(m.LineTail(), "");
    EXPECT_EQ(words(poll(m)).size(), 17u);
    EXPECT_EQ(m.Error(), kErrOk);
}

TEST_F(Tp735xBench, RefusedStateRequestReportsErr5) {
    place("735x", kAddr);
    Ttp735x& m = load();
    bench.injectFault({sim::FaultKind::Refuse, kAddr, 0, 1});
    EXPECT_EQ(poll(m), " 735x    2   Err 5");
}

TEST_F(Tp735xBench, LinesByDestination) {
    place("735x", kAddr);
    // Module 1 answers; module 7 (address 9) is not on the line.
    struct Case {
        int link;
        std::string absentLine;
    };
    const std::vector<Case> cases = {
        {21, " 735x     7  Err 4"},
        {22, " 735x     7   Err 4"},
        {23, "735x 7 Err 4"},
    };
    for (const Case& c : cases) {
        ModelTable<Tp735xTraits> t{ctx};
        const std::string link = std::to_string(c.link);
        writeCfg("735x", "735x 1 1 " + link + " 3 7374.2978 1 1 0 0\n735x 7 1 " + link +
                             " 9 7374.2978 1 1 0 0\n");
        ASSERT_EQ(t.LoadCfg(), 0);
        ASSERT_EQ(t.ModuleCount(), 2);
        EXPECT_EQ(t.Module(2)->Error(), kErrNoAnswer);
        replies.clear();
        ctx.Console.clear();
        t.WriteDat();
        t.WriteConsole();
        t.WriteReply();
        std::vector<std::string> lines;
        if (c.link == 21) {
            const std::string dat = readFile("tp735x.dat");
            ASSERT_EQ(dat.substr(0, 1), "\n");
            for (std::size_t i = 1, e; i < dat.size(); i = e + 1) {
                e = dat.find('\n', i);
                lines.push_back(dat.substr(i, e - i));
            }
        } else if (c.link == 22) {
            ASSERT_GE(ctx.Console.lines().size(), 3u);
            EXPECT_EQ(ctx.Console.lines()[0], "");
            lines.assign(ctx.Console.lines().begin() + 1, ctx.Console.lines().end());
        } else {
            lines = replies;
        }
        ASSERT_EQ(lines.size(), 2u) << c.link;
        EXPECT_EQ(lines[0].substr(0, 13), " 735x    1   ") << c.link;
        EXPECT_EQ(words(lines[0]).size(), 17u) << c.link;
        EXPECT_EQ(lines[1], c.absentLine) << c.link;
        EXPECT_EQ(t.LineFor(*t.Module(2), Route::Link), " 735x    7   Err 4");
    }
    // Only the Link-21 round wrote the data file; no legend in it.
    EXPECT_EQ(readFile("tp735x.dat").find(';'), std::string::npos);
}

TEST_F(Tp735xBench, SetCommand) {
    struct Case {
        std::vector<std::string> words;
        bool applied;
        std::vector<Request> sent;
        int out1, out2, rele1, rele2;
    };
    const std::vector<Case> cases = {
        {{"0", "0", "0", "0", "1"}, true, {{1, {0xFF, 0xFF, 0x3F, 0xFF}}, {5, {0}}}, 0, 0, 0, 0},
        {{"1", "1", "1", "1", "0"}, true, {{1, {0xFF, 0xFF, 0xFF, 0x3F}}}, 1, 1, 1, 1},
        {{"1", "0", "1", "0", "0"}, true, {{1, {0xFF, 0xFF, 0x7F, 0xBF}}}, 1, 0, 1, 0},
        {{"0", "0", "0", "0", "2"}, false, {}, 1, 1, 0, 0},
        {{"0", "0", "0", "x", "0"}, false, {}, 1, 1, 0, 0},
        {{"0", "0", "1.0", "0", "0"}, false, {}, 1, 1, 0, 0},
        {{"0", "0", "0", "0"}, false, {}, 1, 1, 0, 0},
    };
    for (const Case& c : cases) {
        ModelTable<Tp735xTraits> t{ctx};
        RecordingModule& dev = place("735x", kAddr);
        writeCfg("735x", "735x 2 1 23 3 7374.2978 1 1 0 0\n");
        ASSERT_EQ(t.LoadCfg(), 0);
        dev.requests.clear();
        Ttp735x& m = *t.FirstPresent(2);
        EXPECT_EQ(m.ApplySetCommand(c.words), c.applied);
        ASSERT_EQ(dev.requests.size(), c.sent.size());
        for (std::size_t i = 0; i < c.sent.size(); ++i) {
            EXPECT_EQ(dev.requests[i].command, c.sent[i].command);
            EXPECT_EQ(dev.requests[i].data, c.sent[i].data);
        }
        EXPECT_EQ(m.Out1(), c.out1);
        EXPECT_EQ(m.Out2(), c.out2);
        EXPECT_EQ(m.Rele1(), c.rele1);
        EXPECT_EQ(m.Rele2(), c.rele2);
    }
}

TEST_F(Tp735xBench, ExchangesOfAnAbsentModuleSendNothing) {
    writeCfg("735x", "735x 2 1 23 3 7374.2978 1 1 0 0\n");
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp735x& m = *table.Module(1);
    ASSERT_FALSE(m.Present());
    const std::uint64_t before = bench.requestCount();
    EXPECT_EQ(m.WriteOutputs(), -1);
    EXPECT_EQ(m.ReadState(), -1);
    EXPECT_EQ(m.ReadCounters(), -1);
    EXPECT_EQ(m.ResetDetectors(), -1);
    EXPECT_EQ(m.EventRequest(4), -1);
    m.Poll();
    EXPECT_EQ(m.LineHead(), "");
    EXPECT_EQ(bench.requestCount(), before);
}

}  // namespace
}  // namespace yukt::freqtest
