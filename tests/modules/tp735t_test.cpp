// The 735t driver against the simulated module through the real link code.

#include "modules/tp735t.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cp1251.h"
#include "freq_bench.h"
#include "number_word.h"
#include "sim/dev_735_input.h"

namespace yukt::freqtest {
namespace {

constexpr int kAddr = 3;
const std::string kCfg = "735t 2 1 23 3 7374.76925 1 1 0 0 2.0 3.0\n";

using Bytes = std::vector<std::uint8_t>;

class Tp735tBench : public FreqBench {
  protected:
    Ttp735t& load(const std::string& cfg = kCfg) {
        writeCfg("735t", cfg);
        EXPECT_EQ(table.LoadCfg(), 0);
        EXPECT_GE(table.ModuleCount(), 1);
        return *table.Module(1);
    }
    void setBank(RecordingModule& dev, int bank, const std::string& bytes) {
        auto lk = bench.lock();
        dev.innerAs<sim::TwoChannelDevice>().bank(bank).assign(bytes.begin(), bytes.end());
    }
    std::string bank(RecordingModule& dev, int bank) {
        auto lk = bench.lock();
        const Bytes& b = dev.innerAs<sim::TwoChannelDevice>().bank(bank);
        return std::string(b.begin(), b.end());
    }

    ModelTable<Tp735tTraits> table{ctx};
};

TEST_F(Tp735tBench, LoadingSendsOutputsAndDividers) {
    RecordingModule& dev = place("735t", kAddr);
    Ttp735t& m = load();
    EXPECT_TRUE(m.Present());
    EXPECT_DOUBLE_EQ(m.Divider1(), 2.0);
    EXPECT_DOUBLE_EQ(m.Divider2(), 3.0);
    ASSERT_EQ(dev.requests.size(), 2u);
    EXPECT_EQ(dev.requests[0].command, 1);
    EXPECT_EQ(dev.requests[0].data, (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(dev.requests[1].command, 5);
    EXPECT_EQ(dev.requests[1].data, (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x50, 0x00}));
}

TEST_F(Tp735tBench, ExactLinesByDestination) {
    place("735t", kAddr);
    Ttp735t& m = load();
    const std::string poll =
        "735t 2 $00000000 $00000000    0.54239  $00000000 $00000000"
        " 0 0     0.0000     0.00000       1    1     0 0    0.0000  $00000000  $00000000";
    EXPECT_EQ(table.LineFor(m, Route::Link), poll);
    EXPECT_EQ(table.LineFor(m, Route::Dat), poll);
    // The component also gets the texts of both memory banks (blanks as "?").
    EXPECT_EQ(table.LineFor(m, Route::Reply), poll + " 735t?bank?1????? 735t?bank?2?????");
}

TEST_F(Tp735tBench, BothChannelsMeasureTheGenerator) {
    place("735t", kAddr);
    Ttp735t& m = load();
    pulses(0.001, bench.now());
    advance(0.5);
    table.LineFor(m, Route::Link);
    advance(2.0);
    const std::vector<std::string> w = words(table.LineFor(m, Route::Link));
    ASSERT_EQ(w.size(), 18u);
    EXPECT_EQ(w[7], "1");  // K1
    EXPECT_NEAR(NumberWord(w[9]), 1000, 1e-3);
    EXPECT_NEAR(NumberWord(w[15]), 1000, 1e-3);
    EXPECT_NEAR(m.MeasuredQuartzKHz(), 7374.76925, 0.01);
    EXPECT_EQ(w[2], Hex8(static_cast<std::uint32_t>(m.FlowCount1())));
    EXPECT_EQ(w[5], Hex8(static_cast<std::uint32_t>(m.FlowCount2())));
    EXPECT_GT(m.FlowCount1(), 2000);
    // ЭМС counters: the divided channels (2.0 and 3.0 from the configuration).
    EXPECT_GT(m.Emc1(), 1000);
    EXPECT_NEAR(m.Emc1() * 2, m.Emc2() * 3, 6);
}

TEST_F(Tp735tBench, MemoryLines) {
    RecordingModule& dev = place("735t", kAddr);
    Ttp735t& m = load();
    struct Case {
        const char* what;
        std::string stored;
        std::string bankName;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"plain text", "Verification-01!", "mem1", "735t 2  Verification-01!"},
        {"control characters", std::string("ABCDEFGHIJ\x01\x02\x03\x1F\x00 ", 16), "mem2",
         "735t 2  ABCDEFGHIJ??????"},
        {"Windows-1251 letters", Utf8ToCp1251("Поверка модуля 1"), "mem1",
         "735t 2  Поверка?модуля?1"},
        {"short answer: the missing bytes count as 0", "Verification", "mem1",
         "735t 2  Verification????"},
    };
    for (const Case& c : cases) {
        setBank(dev, c.bankName == "mem1" ? 1 : 2, c.stored);
        EXPECT_EQ(Tp735tTraits::MemoryReply(m, c.bankName), c.line) << c.what;
        EXPECT_EQ(m.Error(), kErrOk);
    }
    setBank(dev, 1, "");  // an answer without data
    EXPECT_EQ(Tp735tTraits::MemoryReply(m, "mem1"), " 735t    2   Err 5");
    bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 1});
    EXPECT_EQ(Tp735tTraits::MemoryReply(m, "mem2"), " 735t    2   Err 5");
    EXPECT_EQ(m.Error(), kErrExchange);
    std::string text;
    EXPECT_EQ(m.ReadMemory(3, text), -1);
    EXPECT_EQ(text, "Err7");
}

TEST_F(Tp735tBench, MemoryWrites) {
    RecordingModule& dev = place("735t", kAddr);
    Ttp735t& m = load();
    struct Case {
        int bank;
        std::string text;
        int result;
        std::string stored;  // bank contents afterwards, Windows-1251
    };
    const std::vector<Case> cases = {
        {1, "0123456789ABCDEF", 0, "0123456789ABCDEF"},
        {2, "Прибор номер 12.", 0, Utf8ToCp1251("Прибор номер 12.")},
        {1, "0123456789ABCDE", -1, "0123456789ABCDEF"},
        {1, "0123456789ABCDEFG", -1, "0123456789ABCDEF"},
        {3, "0123456789ABCDEF", -1, "0123456789ABCDEF"},
        {1, FitMemoryText("MixedCase"), 0, std::string("MixedCase\0\0\0\0\0\0\0", 16)},
    };
    for (const Case& c : cases) {
        dev.requests.clear();
        EXPECT_EQ(m.WriteMemory(c.bank, c.text), c.result) << c.text;
        EXPECT_EQ(dev.requests.size(), c.result == 0 ? 1u : 0u) << c.text;
        EXPECT_EQ(bank(dev, c.bank == 2 ? 2 : 1), c.stored) << c.text;
    }
    // What the set form wrote reads back with its NUL filling as "?".
    EXPECT_EQ(Tp735tTraits::MemoryReply(m, "mem1"), "735t 2  MixedCase???????");
}

TEST_F(Tp735tBench, SetCommand) {
    struct Case {
        std::vector<std::string> words;
        bool applied;
        std::vector<Request> sent;
        int out1, out2, rele1, rele2;
        double divider1, divider2;
    };
    const std::vector<Case> cases = {
        {{"1", "0", "0", "0", "0"}, true, {{1, {0xFF, 0xFF, 0x7F, 0xFF}}}, 1, 0, 0, 0, 1.0, 1.0},
        {{"0", "1", "0", "0", "0"}, true, {{1, {0xFF, 0xFF, 0xBF, 0xFF}}}, 0, 1, 0, 0, 1.0, 1.0},
        {{"1", "1", "1", "1", "0"}, true, {{1, {0xFF, 0xFF, 0xFF, 0x3F}}}, 1, 1, 1, 1, 1.0, 1.0},
        {{"0", "0", "2.0", "65535.9999", "1"},
         true,
         {{5, {0x00, 0x01, 0x00, 0x00, 0x7F, 0xFF, 0x99, 0x99}}},
         0,
         0,
         0,
         0,
         2.0,
         65535.9999},
        {{"0", "0", "5", "1", "1"},
         true,
         {{5, {0x00, 0x02, 0x50, 0x00, 0x00, 0x00, 0x50, 0x00}}},
         0,
         0,
         0,
         0,
         5.0,
         1.0},
        {{"0", "0", "1", "12.5", "1"},
         true,
         {{5, {0x00, 0x00, 0x50, 0x00, 0x00, 0x06, 0x25, 0x00}}},
         0,
         0,
         0,
         0,
         1.0,
         12.5},
        {{"0", "0", "1.5", "0", "0"}, false, {}, 1, 1, 1, 1, 2.0, 3.0},
        {{"0", "0", "x", "1", "1"}, false, {}, 1, 1, 1, 1, 2.0, 3.0},
        {{"2", "0", "0", "0", "0"}, false, {}, 1, 1, 1, 1, 2.0, 3.0},
        {{"0", "0", "0", "0", "2"}, false, {}, 1, 1, 1, 1, 2.0, 3.0},
        {{"0", "0", "0", "0"}, false, {}, 1, 1, 1, 1, 2.0, 3.0},
    };
    for (const Case& c : cases) {
        ModelTable<Tp735tTraits> t{ctx};
        RecordingModule& dev = place("735t", kAddr);
        writeCfg("735t", "735t 2 1 23 3 7374.76925 1 1 1 1 2.0 3.0\n");
        ASSERT_EQ(t.LoadCfg(), 0);
        Ttp735t& m = *t.FirstPresent(2);
        dev.requests.clear();
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
        EXPECT_DOUBLE_EQ(m.Divider1(), c.divider1);
        EXPECT_DOUBLE_EQ(m.Divider2(), c.divider2);
    }
}

TEST_F(Tp735tBench, FailedStateRequestAndAbsentModule) {
    place("735t", kAddr);
    writeCfg("735t", kCfg + "735t 4 1 23 9 7374.76925 1 1 0 0 2.0 3.0\n");
    ASSERT_EQ(table.LoadCfg(), 0);
    Ttp735t& m = *table.Module(1);
    bench.injectFault({sim::FaultKind::BadSum, kAddr, 0, 1});
    EXPECT_EQ(table.LineFor(m, Route::Link), " 735t    2   Err 5");
    EXPECT_EQ(m.Error(), kErrExchange);
    Ttp735t& absent = *table.Module(2);
    EXPECT_EQ(table.LineFor(absent, Route::Link), " 735t    4   Err 4");
    EXPECT_EQ(table.LineFor(absent, Route::Dat), " 735t     4  Err 4");
    EXPECT_EQ(table.LineFor(absent, Route::Reply), "735t 4 Err 4");
    EXPECT_EQ(Tp735tTraits::MemoryReply(absent, "mem1"), "735t 4 Err 4");
}

// A module that accepts every request but answers with too few bytes.
class ShortAnswers : public sim::SimModule {
  public:
    ShortAnswers(std::size_t stateBytes, std::size_t otherBytes)
        : SimModule("735t"), m_state(stateBytes), m_other(otherBytes) {}

  private:
    sim::Answer onCommand(int command, std::span<const std::uint8_t>) override {
        return sim::Reply::ok(Bytes(command == 2 ? m_state : m_other, 0x5A));
    }
    std::size_t m_state, m_other;
};

TEST_F(Tp735tBench, ShortAnswersChangeNothing) {
    struct Case {
        std::size_t stateBytes, otherBytes;
        bool err5;
    };
    const std::vector<Case> cases = {{1, 8, true}, {0, 0, true}, {4, 7, false}, {4, 0, false}};
    for (const Case& c : cases) {
        ModelTable<Tp735tTraits> t{ctx};
        bench.place(kAddr, std::make_unique<ShortAnswers>(c.stateBytes, c.otherBytes));
        writeCfg("735t", kCfg);
        ASSERT_EQ(t.LoadCfg(), 0);
        Ttp735t& m = *t.Module(1);
        ASSERT_TRUE(m.Present());
        const std::string line = t.LineFor(m, Route::Reply);
        if (c.err5) {
            EXPECT_EQ(line.substr(0, 18), " 735t    2   Err 5");
        } else {
            // Counters and ЭМС keep their start values; a memory read takes
            // what came (missing bytes count as 0) and fails only without data.
            EXPECT_EQ(m.FlowCount1(), 0);
            EXPECT_EQ(m.TimeCount2(), 0);
            EXPECT_EQ(m.Emc1(), 0);
            EXPECT_EQ(line.find("$5A"), std::string::npos);
            std::string text;
            EXPECT_EQ(m.ReadMemory(1, text), c.otherBytes > 0 ? 0 : -1);
        }
    }
}

TEST_F(Tp735tBench, DividerAndTranslatorFeedBackToTheGenerator) {
    auto dev = sim::makeDevice("735t");
    dev->flash().setAddress(kAddr);
    bench.plugUnderTest(std::move(dev));
    bench.setModeSwitch(sim::ModeSwitch::Verification);
    Ttp735t& m = load();
    struct Case {
        std::vector<std::string> words;
        double feedback;
    };
    const std::vector<Case> cases = {
        {{"0", "0", "5", "1", "1"}, 5.0},
        {{"1", "0", "0", "0", "0"}, 1.0},
        {{"0", "0", "1", "7.5", "1"}, 7.5},
        {{"0", "1", "0", "0", "0"}, 1.0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(m.ApplySetCommand(c.words));
        auto lk = bench.lock();
        EXPECT_DOUBLE_EQ(bench.physics().feedbackDivider, c.feedback);
    }
}

}  // namespace
}  // namespace yukt::freqtest
