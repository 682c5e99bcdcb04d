// The flowmeter (735r), Q-factor (735d) and virtual FLASH (735v) drivers
// against their simulated modules through the real link code.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/text.h"
#include "freq_bench.h"
#include "modules/tp735d.h"
#include "modules/tp735r.h"
#include "modules/tp735v.h"
#include "number_word.h"
#include "sim/dev_735_input.h"

namespace yukt::freqtest {
namespace {

constexpr int kAddr = 3;
using Bytes = std::vector<std::uint8_t>;

// ---- 735r -----------------------------------------------------------------

class Tp735rBench : public FreqBench {
  protected:
    Ttp735r& load() {
        writeCfg("735r", "735r 2 1 23 3 7374.7253\n735r 7 1 23 9 7374.7253\n");
        EXPECT_EQ(table.LoadCfg(), 0);
        EXPECT_EQ(table.ModuleCount(), 2);
        return *table.Module(1);
    }
    ModelTable<Tp735rTraits> table{ctx};
};

TEST_F(Tp735rBench, StartUpAndPollLine) {
    RecordingModule& dev = place("735r", kAddr);
    Ttp735r& m = load();
    ASSERT_EQ(dev.requests.size(), 2u);
    // Outputs off, relays off; both dividers 0.
    EXPECT_EQ(dev.requests[0].data, (Bytes{0xFF, 0xFF, 0x3F, 0xFF}));
    EXPECT_EQ(dev.requests[1].command, 5);
    EXPECT_EQ(dev.requests[1].data, Bytes(8, 0));
    EXPECT_EQ(table.LineFor(m, Route::Link),
              "735r 2 $00000000 $00000000    0.54239  $00000000 $00000000"
              " 0 0     0.0000     0.00000       0 0    0.0000");
    EXPECT_EQ(table.LineFor(*table.Module(2), Route::Link), " 735r    7   Err 4");
}

TEST_F(Tp735rBench, ComponentOutputEveryThirdCycle) {
    RecordingModule& dev = place("735r", kAddr);
    Ttp735r& m = load();
    pulses(0.0001, bench.now());  // one pulse every 100 µs
    struct Cycle {
        int phase;
        bool line;
    };
    const std::vector<Cycle> cycles = {{1, false}, {2, false}, {3, true},
                                       {1, false}, {2, false}, {3, true}};
    for (const Cycle& c : cycles) {
        advance(0.5);
        replies.clear();
        dev.requests.clear();
        table.WriteReply();
        EXPECT_EQ(m.Phase(), c.phase);
        // The absent module reports every cycle; the present one only in phase 3.
        ASSERT_EQ(replies.size(), c.line ? 2u : 1u) << c.phase;
        EXPECT_EQ(replies.back(), "735r 7 Err 4");
        if (!c.line) continue;
        const std::vector<std::string> w = words(replies[0]);
        ASSERT_EQ(w.size(), 5u) << replies[0];
        EXPECT_EQ(w[0], "735r");
        EXPECT_EQ(w[1], "2");
        ASSERT_EQ(w[2].substr(0, 3), "T1=");
        // 100 µs per pulse, timed by the module quartz, converted with the
        // configured one.
        EXPECT_NEAR(NumberWord(w[2].substr(3)), 100 * 7374.76925 / 7374.7253, 1e-3);
        EXPECT_EQ(w[3].substr(0, 4), "dT1=");
        EXPECT_EQ(w[4], "QZ=" + Fix(m.MeasuredQuartzKHz(), 0, 5));
        // After the poll the relays are switched over, ending with Rele1 on.
        ASSERT_GE(dev.requests.size(), 2u);
        EXPECT_EQ(dev.requests[dev.requests.size() - 2].data, (Bytes{0xFF, 0xFF, 0x3F, 0x7F}));
        EXPECT_EQ(dev.requests.back().data, (Bytes{0xFF, 0xFF, 0x3F, 0xBF}));
        EXPECT_EQ(m.Rele1(), 1);
        EXPECT_EQ(m.Rele2(), 0);
    }
}

TEST_F(Tp735rBench, NoPulsesGiveMinusOne) {
    place("735r", kAddr);
    Ttp735r& m = load();
    std::string line;
    for (int i = 0; i < 3; ++i) line = Tp735rTraits::ResultLine(m, Route::Reply);
    // No generator: K1 is 0, so the change counts as reversed flow.
    EXPECT_EQ(line, "735r 2 T1=-1.000000  dT1=500.000000  QZ=0.00000");
}

TEST_F(Tp735rBench, FailedPollGivesNoLine) {
    place("735r", kAddr);
    Ttp735r& m = load();
    bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 1});
    std::string line = "x";
    for (int i = 0; i < 3; ++i) line = Tp735rTraits::ResultLine(m, Route::Reply);
    EXPECT_EQ(line, "");
    EXPECT_EQ(m.Flow().PrevT1, 0);
}

TEST_F(Tp735rBench, SetCommandSwitchesTheRelays) {
    RecordingModule& dev = place("735r", kAddr);
    Ttp735r& m = load();
    struct Case {
        std::vector<std::string> words;
        bool applied;
        Bytes sent;
    };
    const std::vector<Case> cases = {
        {{"1", "0"}, true, {0xFF, 0xFF, 0x3F, 0xBF}},
        {{"0", "1"}, true, {0xFF, 0xFF, 0x3F, 0x7F}},
        {{"1", "1"}, true, {0xFF, 0xFF, 0x3F, 0x3F}},
        {{"2", "0"}, false, {}},
        {{"1"}, false, {}},
    };
    for (const Case& c : cases) {
        dev.requests.clear();
        EXPECT_EQ(m.ApplySetCommand(c.words), c.applied);
        ASSERT_EQ(dev.requests.size(), c.applied ? 1u : 0u);
        if (c.applied) {
            EXPECT_EQ(dev.requests[0].data, c.sent);
        }
    }
}

// ---- 735d -----------------------------------------------------------------

std::string record(const std::vector<std::uint32_t>& w) {
    std::string r = "\\st";
    for (std::uint32_t v : w)
        for (int i = 0; i < 3; ++i) r += static_cast<char>((v >> (8 * i)) & 0xFF);
    return r;
}

class Tp735dBench : public FreqBench {
  protected:
    Ttp735d& load() {
        writeCfg("735d", "735d 2 1 23 3 7374.7253 1 1 0 0 2.0 3.0\n");
        EXPECT_EQ(table.LoadCfg(), 0);
        return *table.Module(1);
    }
    void setBank(RecordingModule& dev, int bank, const std::string& bytes) {
        auto lk = bench.lock();
        dev.innerAs<sim::TwoChannelDevice>().bank(bank).assign(bytes.begin(), bytes.end());
    }
    ModelTable<Tp735dTraits> table{ctx};
};

// " tauAn=... tauBn=... Qn=..." of a record whose sorted differences are s1..s4.
std::string tauText(int n, double s3, double s4, double tick) {
    const double tauA = s4 * tick * 3 / 1536, tauB = s3 * tick * 3 / 1536;
    const double q = 1 / (std::sqrt(tauA / tauB) - std::sqrt(tauB / tauA));
    return Fmt(" tauA%d=%8.4f tauB%d=%8.4f Q%d=%8.4f", n, tauA, n, tauB, n, q);
}

TEST_F(Tp735dBench, EachNewRecordIsReportedOnce) {
    RecordingModule& dev = place("735d", kAddr);
    load();
    const double tick = 4000 / 7374.7253;
    // Bank 1: differences 300000, 310000, 310000, 315000; TA = 625000 ticks x 3
    // lies in the quartz window: QZ = 4000 * 625000 * 3 / 1e6 = 7500.
    setBank(dev, 1, record({100000, 400000, 710000, 1020000, 1335000}));
    setBank(dev, 2, record({0, 100, 300, 600, 1000}));
    struct Cycle {
        const char* what;
        int changeBank;
        std::string changeTo;
        std::string line;
    };
    const std::vector<Cycle> cycles = {
        {"both new", 0, "",
         "735d 2  " + tauText(1, 310000, 315000, tick) + tauText(2, 300, 400, tick) +
             " QZ1=7500.0000"},
        {"nothing new", 0, "", "735d 2    Err 6"},
        {"bank 2 new", 2, record({0, 50, 150, 300, 500}), "735d 2  " + tauText(2, 150, 200, tick)},
        {"a text that is no record", 1, std::string(18, 'x'),
         "735d 2   tauA1=  0.0000 tauB1=  0.0000 Q1=  0.0000"},
    };
    for (const Cycle& c : cycles) {
        if (c.changeBank != 0) setBank(dev, c.changeBank, c.changeTo);
        replies.clear();
        table.WriteReply();
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0], c.line) << c.what;
    }
}

TEST_F(Tp735dBench, FailedMemoryReadsReportErr5) {
    place("735d", kAddr);
    load();
    bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 2});
    table.WriteReply();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], " 735d    2   Err 5 ");
}

TEST_F(Tp735dBench, ShortRecordsAreReadAsFarAsTheyGo) {
    RecordingModule& dev = place("735d", kAddr);
    Ttp735d& m = load();
    const std::string zeros =
        " TA1=     0.000 TB1=     0.000 tauA1=  0.0000 tauB1=  0.0000 Q1=  0.0000";
    struct Case {
        const char* what;
        std::string stored;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"17 characters", record({0, 100, 300, 600, 1000}).substr(0, 17), "735d 2  " + zeros},
        {"one character", "\\", "735d 2  " + zeros},
        {"no data at all", "", " 735d    2   Err 5 " + zeros},
    };
    for (const Case& c : cases) {
        setBank(dev, 1, c.stored);
        EXPECT_EQ(Tp735dTraits::MemoryReply(m, "mem1"), c.reply) << c.what;
    }
    // The component line shows the short record's values as zeros too.
    setBank(dev, 1, record({0, 100, 300, 600, 1000}).substr(0, 17));
    replies.clear();
    table.WriteReply();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(replies[0].starts_with("735d 2   tauA1=  0.0000 tauB1=  0.0000 Q1=  0.0000 tauA2="))
        << replies[0];
}

TEST_F(Tp735dBench, MemoryGetForm) {
    RecordingModule& dev = place("735d", kAddr);
    Ttp735d& m = load();
    const double tick = 4000 / 7374.7253;
    setBank(dev, 2, record({0, 100, 300, 600, 1000}));
    const double tauA = 400 * tick * 3 / 1536, tauB = 300 * tick * 3 / 1536;
    EXPECT_EQ(Tp735dTraits::MemoryReply(m, "mem2"),
              "735d 2  " + Fmt(" TA2=%10.3f TB2=%10.3f tauA2=%8.4f tauB2=%8.4f Q2=%8.4f",
                               600 * tick * 3, 400 * tick * 3, tauA, tauB,
                               1 / (std::sqrt(tauA / tauB) - std::sqrt(tauB / tauA))));
    // The get form always evaluates, so the component output still sees the
    // record as new.
    table.WriteReply();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_NE(replies[0].find(" tauA2="), std::string::npos);
    // Eighteen characters are read back unchanged.
    m.ReadMemoryLine("mem2");
    EXPECT_EQ(m.MemoryBytes(), record({0, 100, 300, 600, 1000}));
}

TEST_F(Tp735dBench, OtherDestinationsGetThePollLine) {
    place("735d", kAddr);
    Ttp735d& m = load();
    EXPECT_EQ(table.LineFor(m, Route::Dat),
              "735d 2 $00000000 $00000000    0.54239  $00000000 $00000000"
              " 0 0     0.0000     0.00000       1    1     0 0    0.0000  $00000000  $00000000");
}

// ---- 735v -----------------------------------------------------------------

class Tp735vBench : public FreqBench {
  protected:
    Ttp735v& load() {
        writeCfg("735v", "735v 2 1 23 3 7374.7253 1 1 1 1 2.0000 65535.9999\n");
        EXPECT_EQ(table.LoadCfg(), 0);
        return *table.Module(1);
    }
    ModelTable<Tp735vTraits> table{ctx};
};

TEST_F(Tp735vBench, PollLineWithoutDollarSigns) {
    place("735v", kAddr);
    Ttp735v& m = load();
    pulses(1.0);
    advance(123455.5);
    table.WriteReply();
    ASSERT_EQ(replies.size(), 1u);
    const std::string& line = replies[0];
    EXPECT_EQ(line.substr(0, 17), "735v 2  0001E240 ");
    const std::vector<std::string> w = words(line);
    ASSERT_EQ(w.size(), 18u);  // no memory texts on this model's component line
    EXPECT_EQ(w[5], "0001E240");
    EXPECT_EQ(w[16].substr(0, 1), "$");  // ЭМС keep their "$"
    EXPECT_EQ(m.Error(), kErrOk);
}

TEST_F(Tp735vBench, FlashAlwaysFails) {
    RecordingModule& dev = place("735v", kAddr);
    Ttp735v& m = load();
    dev.requests.clear();
    EXPECT_EQ(m.FlashLine("read"), " 735v    2   Err 5");
    EXPECT_EQ(m.Error(), kErrExchange);
    std::string text;
    EXPECT_EQ(m.ReadFlash("page1", text), -1);
    EXPECT_EQ(text, "Err7");
    EXPECT_EQ(m.WriteFlash("anything"), -1);
    EXPECT_TRUE(dev.requests.empty());
}

TEST_F(Tp735vBench, MemoryReadsBackUnchanged) {
    RecordingModule& dev = place("735v", kAddr);
    Ttp735v& m = load();
    {
        auto lk = bench.lock();
        const std::string raw("AB\x01 CDEFGHIJKLMN", 16);
        dev.innerAs<sim::TwoChannelDevice>().bank(1).assign(raw.begin(), raw.end());
    }
    EXPECT_EQ(Tp735vTraits::MemoryReply(m, "mem1"), std::string("735v 2  AB\x01 CDEFGHIJKLMN"));
    EXPECT_EQ(Tp735vTraits::MemoryReply(m, "mem2"), "735v 2  FLASH page 2    ");
}

}  // namespace
}  // namespace yukt::freqtest
