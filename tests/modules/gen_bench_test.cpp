// The generator drivers against simulated generators through the real link
// and frame code: the frames each setting sends, the count read back and the
// result lines of every route.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/warning.h"
#include "freq_bench.h"
#include "modules/tp788t.h"
#include "modules/tp788v.h"
#include "modules/tp788x.h"
#include "number_word.h"
#include "sim/bench.h"

namespace yukt::freqtest {
namespace {

constexpr int kAddr = 2;
using Bytes = std::vector<std::uint8_t>;

// A generator whose answers the test chooses, for counts a real burst would
// take long to produce.
class ScriptedGenerator : public sim::SimModule {
  public:
    explicit ScriptedGenerator(std::string model) : SimModule(std::move(model)) {}
    std::function<sim::Answer(int, const Bytes&)> answer;
    std::vector<Request> requests;

  private:
    sim::Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        Bytes d(data.begin(), data.end());
        requests.push_back({command, d});
        return answer ? answer(command, d) : sim::Reply::ok();
    }
};

class GeneratorBench : public FreqBench {
  protected:
    ScriptedGenerator& scripted(const std::string& model) {
        auto m = std::make_unique<ScriptedGenerator>(model);
        ScriptedGenerator& ref = *m;
        bench.place(kAddr, std::move(m));
        return ref;
    }
    Ttp788t& load788t(const std::string& cfg) {
        writeCfg("788t", cfg);
        EXPECT_EQ(t788t.LoadCfg(), 0);
        EXPECT_EQ(t788t.ModuleCount(), 1);
        return *t788t.Module(1);
    }
    int set788t(const std::vector<std::string>& w) {
        std::vector<std::string> words = w;
        words.resize(4);
        const auto s = Parse788tSet(words[0], words[1], words[2], words[3]);
        return s ? SetModule(t788t, 1, *s) : -100;
    }

    ModelTable<Tp788tTraits> t788t{ctx};
    ModelTable<Tp788xTraits> t788x{ctx};
    ModelTable<Tp788vTraits> t788v{ctx};
};

TEST_F(GeneratorBench, StartUpProgramsTheConfiguredInterval) {
    RecordingModule& dev = place("788t", kAddr);
    Ttp788t& g = load788t("788t 1 1 23 2 7374.6075308 100 0.5 4\n");
    EXPECT_TRUE(g.Present());
    EXPECT_EQ(g.Error(), kErrOk);
    ASSERT_EQ(dev.requests.size(), 1u);
    EXPECT_EQ(dev.requests[0].command, 1);
    EXPECT_EQ(dev.requests[0].data, (Bytes{0x03, 0x0E, 0x00, 0xE2, 0x10}));
}

TEST_F(GeneratorBench, SetFormsSendTheirFrames) {
    struct Case {
        std::vector<std::string> words;
        int cmd;  // -1: nothing is sent
        Bytes data;
        int mode;
    };
    const Bytes timing = {0xFB, 0xB7, 0x90, 0x01, 0x02, 0x24, 0x0C, 0x00, 0xE2, 0x10};
    const Case cases[] = {
        {{"0.5", "4"}, 1, {0x03, 0x0E, 0x00, 0xE2, 0x10}, 4},
        {{"100", "0.5", "0"}, 4, timing, 0},
        {{"100", "0.5", "1"}, 2, timing, 1},
        {{"20", "3"}, 1, {0x02}, 3},
        {{"3"}, 1, {0x02}, 3},
        {{"100", "3"}, 1, {0x01, 0xFB, 0xB7}, 3},
        {{"1000", "2", "50", "5"}, 1, {0x04, 0xCC, 0xF8, 0x02, 0x32, 0x00}, 5},
        {{"100", "2"}, -1, {}, 2},
    };
    RecordingModule& dev = place("788t", kAddr);
    Ttp788t& g = load788t("788t 1 1 23 2 7374.6075308 100 5 2\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0] + (c.words.size() > 1 ? " " + c.words[1] : ""));
        dev.requests.clear();
        EXPECT_EQ(set788t(c.words), 0);
        EXPECT_EQ(g.Error(), kErrOk);
        EXPECT_EQ(g.Mode(), c.mode);
        if (c.cmd < 0) {
            EXPECT_TRUE(dev.requests.empty());
            continue;
        }
        ASSERT_EQ(dev.requests.size(), 1u);
        EXPECT_EQ(dev.requests[0].command, c.cmd);
        EXPECT_EQ(dev.requests[0].data, c.data);
    }
    // No period, nothing sent, nothing changed.
    dev.requests.clear();
    EXPECT_EQ(set788t({"0", "0.5", "1"}), -1);
    EXPECT_TRUE(dev.requests.empty());
    EXPECT_EQ(g.Mode(), 2);
    EXPECT_EQ(set788t({"100", "0.5", "7"}), -100);
}

TEST_F(GeneratorBench, BurstCountIsSignedByItsDirectionBit) {
    ScriptedGenerator& dev = scripted("788t");
    Bytes count;
    dev.answer = [&](int command, const Bytes& data) -> sim::Answer {
        if (command == 1 && data == Bytes{5}) return sim::Reply::ok(count);
        return sim::Reply::ok();
    };
    load788t("788t 1 1 23 2 7374.6075308 1000 2 2\n");
    ASSERT_EQ(set788t({"1000", "2", "50", "5"}), 0);
    struct Case {
        Bytes answer;
        std::string line;
    };
    const Case cases[] = {
        {{0x05, 0x05, 0x00, 0x80, 0x00}, "788t 1            5"},
        {{0x05, 0x05, 0x00, 0x00, 0x00}, "788t 1           -5"},
        {{0x05, 0x00, 0x00, 0x00, 0x00}, "788t 1            0"},
        // Too short to hold a count: read as no answer.
        {{0x05, 0x05}, "788t 1  0   0   0"},
    };
    for (const Case& c : cases) {
        count = c.answer;
        t788t.WriteReply();
        ASSERT_FALSE(replies.empty());
        EXPECT_EQ(replies.back(), c.line);
    }
    EXPECT_EQ(dev.requests.back().command, 1);
    EXPECT_EQ(dev.requests.back().data, Bytes{5});
}

TEST_F(GeneratorBench, CountedIntervalIsReportedOnEveryRoute) {
    place("788t", kAddr);
    Ttp788t& g = load788t("788t 1 1 23 2 7374.6075308 100 0.5 0\n");
    advance(1.0);  // the interval is over
    const std::string reply = t788t.LineFor(g, Route::Reply);
    const std::vector<std::string> w = words(reply);
    ASSERT_EQ(w.size(), 5u) << reply;
    EXPECT_EQ(reply.substr(0, 7), "788t 1 ");
    // 921826 ticks of interval over periods of 18437 ticks.
    EXPECT_NEAR(NumberWord(w[2]), 921826.0 / 18437, 0.002);
    EXPECT_EQ(w[3], "0.500000");
    EXPECT_NEAR(NumberWord(w[4]), 921826.0 / 18437 / 0.50000005, 0.004);
    EXPECT_EQ(reply.size(), 7u + 10 + 1 + 10 + 1 + 10);

    const std::string count = Fmt("%10.3f", g.MeasuredCount());
    const std::string freq = Fmt("%10.5f", g.MeasuredCount() * 1e6 / g.IntervalUs());
    EXPECT_EQ(t788t.LineFor(g, Route::Link),
              " 788t     1    " + count + "         0.500    " + freq);
    EXPECT_EQ(t788t.LineFor(g, Route::Dat),
              " 788t     1    " + count + "         0.500    " + freq);
}

TEST_F(GeneratorBench, SilentCountersGiveZeroLines) {
    place("788t", kAddr);
    Ttp788t& g = load788t("788t 7 1 23 2 7374.6075308 100 0.5 1\n");
    struct Case {
        Route route;
        std::string line;
    };
    const Case cases[] = {
        {Route::Reply, "788t 7  0   0   0"},
        {Route::Link, " 788t     7       0           0           0    "},
        {Route::Dat, " 788t     7       0            0         0  "},
    };
    for (const Case& c : cases) {
        bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 1});
        EXPECT_EQ(t788t.LineFor(g, c.route), c.line);
        EXPECT_EQ(g.Error(), kErrOk);
    }
}

TEST_F(GeneratorBench, FailedStartShowsErr5OnTheLinkLine) {
    place("788t", kAddr);
    Ttp788t& g = load788t("788t 1 1 23 2 7374.6075308 100 0.5 1\n");
    bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 1});
    EXPECT_EQ(set788t({"100", "0.5", "0"}), -2);
    EXPECT_EQ(g.Error(), kErrExchange);
    EXPECT_EQ(t788t.LineFor(g, Route::Link), "  Err 5");
    // The component's line says so too: a start the generator never
    // confirmed must not read back as made (a run checks it there).
    EXPECT_EQ(t788t.LineFor(g, Route::Reply), "788t 1 Err 5");
    EXPECT_EQ(g.Error(), kErrExchange);
    // The next good start ends it.
    EXPECT_EQ(set788t({"100", "0.5", "0"}), 0);
    EXPECT_EQ(words(t788t.LineFor(g, Route::Reply)).size(), 5u);
    EXPECT_EQ(g.Error(), kErrOk);
}

TEST_F(GeneratorBench, AbsentGeneratorSendsNothingAndShowsErr4) {
    writeCfg("788t", "788t 3 1 21 5 7374.6075308 100 0.5 4\n");
    ASSERT_EQ(t788t.LoadCfg(), 0);
    Ttp788t& g = *t788t.Module(1);
    EXPECT_FALSE(g.Present());
    EXPECT_EQ(g.Error(), kErrNoAnswer);
    EXPECT_EQ(t788t.LineFor(g, Route::Reply), "788t 3 Err 4");
    EXPECT_EQ(t788t.LineFor(g, Route::Link), " 788t     3    Err 4");
    t788t.WriteDat();
    EXPECT_EQ(readFile("tp788t.dat"),
              "\n;Модуль номер Кол-во импульс. Интервал,сек. Частота,Гц\n 788t     3    Err 4\n");
    EXPECT_EQ(SetModule(t788t, 3, GeneratorSetting{}), -1);
}

TEST_F(GeneratorBench, CalculationModeReportsThePlanWithoutExchange) {
    RecordingModule& dev = place("788t", kAddr);
    Ttp788t& g = load788t("788t 1 1 23 2 7374.6075308 100 5 2\n");
    EXPECT_TRUE(dev.requests.empty());
    EXPECT_EQ(t788t.LineFor(g, Route::Reply), "788t 1    499.987   5.000000   99.99739");
    // The continuous mode reports the last plan as well.
    ASSERT_EQ(set788t({"100", "3"}), 0);
    EXPECT_EQ(t788t.LineFor(g, Route::Reply), "788t 1    499.987   5.000000   99.99739");
    EXPECT_EQ(dev.requests.size(), 1u);  // the set only
}

TEST_F(GeneratorBench, CfgFrequencyWithoutPeriodIsRefusedOnItsOwn) {
    RecordingModule& dev = place("788t", kAddr);
    std::vector<std::string> warnings;
    SetWarningHandler([&](const std::string& text) { warnings.push_back(text); });
    for (const char* freq : {"0", "-5", "NAN"}) {
        SCOPED_TRACE(freq);
        warnings.clear();
        ctx.Console.clear();
        dev.requests.clear();
        ModelTable<Tp788tTraits> table{ctx};
        writeCfg("788t", std::string(";generators\n788t 1 1 23 2 7374.6075308 ") + freq +
                             " 0.5 1\n788t 2 1 23 2 7374.6075308 100 0.5 4\n");
        ASSERT_EQ(table.LoadCfg(), 0);
        ASSERT_EQ(table.ModuleCount(), 2);
        // The refused module is there with its defaults and was not programmed;
        // the next line starts its module as usual.
        EXPECT_EQ(table.Module(1)->PeriodUs(), 10000);
        EXPECT_TRUE(table.Module(1)->Present());
        ASSERT_EQ(dev.requests.size(), 1u);
        EXPECT_EQ(dev.requests[0].data, (Bytes{0x03, 0x0E, 0x00, 0xE2, 0x10}));
        const std::string why = std::string("tp788t.cfg, строка 2: частота ") + freq +
                                " Гц не задает период, строка не принята";
        EXPECT_EQ(warnings, std::vector<std::string>{why});
        EXPECT_EQ(ctx.Console.lastLine(), why);
        // Re-reading the line changes nothing either.
        EXPECT_EQ(table.ReloadModule(1), -1);
        EXPECT_EQ(table.ReloadModule(2), 0);
    }
    // In the continuous mode the line needs no period.
    warnings.clear();
    ModelTable<Tp788tTraits> other{ctx};
    writeCfg("788t", "788t 1 1 23 2 7374.6075308 0 0.5 3\n");
    EXPECT_EQ(other.LoadCfg(), 0);
    ASSERT_EQ(other.ModuleCount(), 1);
    EXPECT_EQ(other.Module(1)->Error(), kErrOk);
    EXPECT_TRUE(warnings.empty());
    SetWarningHandler(nullptr);
}

TEST_F(GeneratorBench, ReloadAppliesTheLineAgain) {
    RecordingModule& dev = place("788t", kAddr);
    writeCfg("788t",
             "788t 1 1 23 2 7374.6075308 100 0.5 4\n788t 2 1 23 9 7374.6075308 100 0.5 4\n");
    ASSERT_EQ(t788t.LoadCfg(), 0);
    ASSERT_EQ(t788t.ModuleCount(), 2);
    dev.requests.clear();
    EXPECT_EQ(t788t.ReloadModule(1), 0);
    ASSERT_EQ(dev.requests.size(), 1u);
    // The interval is set afresh: no growth by two spans per Apply.
    EXPECT_EQ(dev.requests[0].data, (Bytes{0x03, 0x0E, 0x00, 0xE2, 0x10}));
    EXPECT_EQ(t788t.ReloadModule(2), -1);  // did not answer at load
    EXPECT_EQ(t788t.ReloadModule(5), -1);
}

TEST_F(GeneratorBench, Generator788xSendsPeriodsThenSpans) {
    RecordingModule& dev = place("788x", kAddr);
    writeCfg("788x", "788x 1 1 23 2 7374.6075308 100 0.5 0\n");
    ASSERT_EQ(t788x.LoadCfg(), 0);
    Ttp788x& g = *t788x.Module(1);
    EXPECT_EQ(g.Error(), kErrOk);
    ASSERT_EQ(dev.requests.size(), 2u);
    EXPECT_EQ(dev.requests[0].command, 1);
    EXPECT_EQ(dev.requests[0].data, (Bytes{0xFB, 0xB7, 0xFB, 0xB7, 0x00, 0x00, 0x90, 0x01}));
    EXPECT_EQ(dev.requests[1].command, 4);
    EXPECT_EQ(dev.requests[1].data, (Bytes{0x02, 0x24, 0x0C, 0x00, 0xE2, 0x10}));

    advance(1.0);
    const std::vector<std::string> w = words(t788x.LineFor(g, Route::Reply));
    ASSERT_EQ(w.size(), 5u);
    EXPECT_EQ(w[0], "788x");
    EXPECT_NEAR(NumberWord(w[2]), 921826.0 / 18437, 0.002);

    dev.requests.clear();
    const auto forward = Parse788xSet("100", "0.5", "1");
    ASSERT_TRUE(forward);
    EXPECT_EQ(SetModule(t788x, 1, *forward), 0);
    ASSERT_EQ(dev.requests.size(), 2u);
    EXPECT_EQ(dev.requests[1].command, 2);
    // Mode 4 is not a 788x mode: it plans only.
    dev.requests.clear();
    EXPECT_EQ(SetModule(t788x, 1, GeneratorSetting{100, 5, 200, 4}), 0);
    EXPECT_EQ(g.Mode(), 2);
    EXPECT_TRUE(dev.requests.empty());
    EXPECT_EQ(t788x.LineFor(g, Route::Reply), "788x 1    499.987   5.000000   99.99739");
    // A failed first frame stops before the spans.
    bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 1});
    EXPECT_EQ(SetModule(t788x, 1, *forward), -2);
    EXPECT_EQ(g.Error(), kErrExchange);
    ASSERT_EQ(dev.requests.size(), 1u);
    EXPECT_EQ(dev.requests[0].command, 1);
}

TEST_F(GeneratorBench, Generator788vSendsItsTimes) {
    RecordingModule& dev = place("788v", kAddr);
    writeCfg("788v", "788v 1 1 23 2 7374.6075308 100 0.5 2\n");
    ASSERT_EQ(t788v.LoadCfg(), 0);
    Ttp788v& g = *t788v.Module(1);
    EXPECT_TRUE(dev.requests.empty());

    struct Case {
        std::vector<std::string> words;  // 4..8
        int cmd;
        Bytes data;
    };
    const Case cases[] = {
        {{"10", "20", "30", "40", "6"},
         1,
         {0x00, 0x12, 0x00, 0x00, 0x24, 0x00, 0x00, 0x37, 0x00, 0x00, 0x49, 0x00, 0x00}},
        {{"10000", "0.5", "20", "1e7", "6"},
         1,
         {0x00, 0x04, 0x48, 0x00, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0xA6, 0x51, 0x19}},
        {{"10", "0", "30", "40", "6"}, 2, {0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0] + " " + c.words[1]);
        dev.requests.clear();
        const auto s = Parse788vSet(c.words[0], c.words[1], c.words[2], c.words[3], c.words[4]);
        ASSERT_TRUE(s);
        EXPECT_EQ(SetModule(t788v, 1, *s), 0);
        ASSERT_EQ(dev.requests.size(), 1u);
        EXPECT_EQ(dev.requests[0].command, c.cmd);
        EXPECT_EQ(dev.requests[0].data, c.data);
    }
    // Mode 7 stops the module with command 0 (the reset).
    const std::uint64_t before = bench.requestCount();
    const auto stop = Parse788vSet("10", "20", "30", "40", "7");
    ASSERT_TRUE(stop);
    EXPECT_EQ(SetModule(t788v, 1, *stop), 0);
    EXPECT_EQ(bench.requestCount(), before + 1);
    EXPECT_EQ(g.Mode(), 7);
    // The calculation form.
    const auto plan = Parse788vSet("100", "2", "", "", "");
    ASSERT_TRUE(plan);
    EXPECT_EQ(SetModule(t788v, 1, *plan), 0);
    EXPECT_EQ(g.Mode(), 2);
    EXPECT_EQ(words(t788v.LineFor(g, Route::Reply)).size(), 5u);
}

}  // namespace
}  // namespace yukt::freqtest
