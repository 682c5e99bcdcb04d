#include "instrument/command.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/text.h"
#include "instrument/model_tables.h"
#include "instrument/module_set.h"
#include "set_bench.h"

namespace yukt {
namespace {

using testing_set::SetBench;

// A module set of its own over the bench, with the component's hooks
// replaced by recorders.
class CommandTest : public SetBench {
  protected:
    void TearDown() override {
        set.CloseModuleSet();
        SetBench::TearDown();
    }

    void open() {
        set.Context().PublishReply = [this](const std::string& line) { replies.push_back(line); };
        set.TakeCommandHook = [this] { events.push_back("take"); };
        set.EndOfCycleHook = [this] { events.push_back("end"); };
        set.SetPathCfg(dir);
        set.OpenModuleSet();
        ASSERT_TRUE(set.LinksReady());
    }

    void exec(const std::string& line) {
        replies.clear();
        ExecCommand(set, line);
    }

    ModelTables& t() { return set.Tables(); }

    ModuleSet set;
    std::vector<std::string> replies;
    std::vector<std::string> events;
};

TEST_F(CommandTest, GetReportsEveryModuleOfTheModelWhateverItsNumber) {
    addModule("745t", 6, "745t 2 1 23 6 91.85776 91.85776 2 2500.0");
    open();
    for (const char* line : {"Get 745t 2", "get 745T 1", "GET 745t 77", "get 745t $10"}) {
        SCOPED_TRACE(line);
        exec(line);
        ASSERT_EQ(replies.size(), 2u);
        EXPECT_EQ(GetColumn(replies[0], 1, 2), "745t 1");
        EXPECT_EQ(GetColumn(replies[1], 1, 2), "745t 2");
    }
    for (const char* line :
         {"get 745t x", "get 745t", "    ;get 745t 1", "", "put 745t 1", "get 7450 1"}) {
        SCOPED_TRACE(line);
        exec(line);
        EXPECT_TRUE(replies.empty());
    }
}

TEST_F(CommandTest, GeneratorGetGivesSetPointAndMode) {
    open();
    exec("Set 787x 1 12 6");
    EXPECT_DOUBLE_EQ(t().t787x.Module(1)->SetPoint(), 12.0);
    EXPECT_EQ(t().t787x.Module(1)->Mode(), 5);
    {
        auto lock = bench.lock();
        EXPECT_NEAR(bench.physics().generatorCurrentMa, 12.0, 0.01);
    }
    exec("Get 787x 1");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], "787x 1   12.00000  6");

    // Both words must convert.
    exec("Set 787x 1 x 6");
    exec("Set 787x 1 5");
    exec("Set 787x 1 5,5 6");
    EXPECT_DOUBLE_EQ(t().t787x.Module(1)->SetPoint(), 12.0);
}

TEST_F(CommandTest, FrequencyGeneratorSetForms) {
    open();
    Ttp788t& g = *t().t788t.Module(1);
    struct Case {
        const char* line;
        int mode;  // -1: the command changes nothing
        double periodUs;
        int count;
    };
    // Periods are those the module really produces (quantised to its ticks).
    const Case cases[] = {
        {"Set 788t 1 0.5 4", 4, 10000.26, 200},     {"set 788t 1 3", 3, 34482.8, 200},
        {"set 788t 1 20 3", 3, 34482.8, 200},       {"set 788t 1 100 3", 3, 10000.26, 200},
        {"set 788t 1 50 2", 2, 20000.0, 200},       {"set 788t 1 50 1.5 7 5", 5, 20000.0, 7},
        {"set 788t 1 100 1.5 1", 1, 10000.26, 200}, {"set 788t 1 100 1.5 9", -1, 0, 0},
        {"set 788t 1 100 x 1", -1, 0, 0},           {"set 788t 1 7", -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const int modeBefore = g.Mode();
        const double periodBefore = g.PeriodUs();
        exec(c.line);
        if (c.mode < 0) {
            EXPECT_EQ(g.Mode(), modeBefore);
            EXPECT_EQ(g.PeriodUs(), periodBefore);
            continue;
        }
        EXPECT_EQ(g.Mode(), c.mode);
        EXPECT_NEAR(g.PeriodUs(), c.periodUs, 0.5);
        if (c.mode == 5) {
            EXPECT_EQ(g.TargetCount(), c.count);
        }
        EXPECT_EQ(g.Error(), 0);
    }
}

TEST_F(CommandTest, TimesGeneratorSetForms) {
    addModule("788v", 9, "788v 1 1 23 9 7374.6075308 100 20 2");
    open();
    Ttp788v* g = t().t788v.FirstPresent(1);
    ASSERT_NE(g, nullptr);
    exec("set 788v 1 100 200 300 400 6");
    EXPECT_EQ(g->Mode(), 6);
    EXPECT_DOUBLE_EQ(g->P1(), 100);
    EXPECT_DOUBLE_EQ(g->P4(), 400);
    exec("set 788v 1 1 2 3 4 8");
    EXPECT_EQ(g->Mode(), 6);
    EXPECT_DOUBLE_EQ(g->P1(), 100);
    exec("set 788v 1 50 2");
    EXPECT_EQ(g->Mode(), 2);
    EXPECT_NEAR(g->PeriodUs(), 20000, 0.5);
    exec("set 788v 1 1 2 3 4 7");
    EXPECT_EQ(g->Mode(), 7);
}

TEST_F(CommandTest, TwoChannelOutputAndDividerForms) {
    addModule("735t", 6, "735t 2 1 23 6 7374.7253 1 1 1 1 2.0 3.0");
    open();
    Ttp735t* m = t().t735t.FirstPresent(2);
    ASSERT_NE(m, nullptr);
    struct Case {
        const char* line;
        int out1, out2, rele1, rele2;
        double div1, div2;
    };
    const Case cases[] = {
        {"Set 735t 2 1 0 0 0 0", 1, 0, 0, 0, 1.0, 1.0},
        {"Set 735t 2 0 1 1 1 0", 0, 1, 1, 1, 1.0, 1.0},
        {"Set 735t 2 0 0 2.5 1 1", 0, 0, 0, 0, 2.5, 1.0},
        {"Set 735t 2 0 0 1 4 1", 0, 0, 0, 0, 1.0, 4.0},
        // Out of range or malformed: nothing changes.
        {"Set 735t 2 2 0 0 0 0", 0, 0, 0, 0, 1.0, 4.0},
        {"Set 735t 2 1 1 2 0 0", 0, 0, 0, 0, 1.0, 4.0},
        {"Set 735t 2 1 1 x 1 1", 0, 0, 0, 0, 1.0, 4.0},
        {"Set 735t 2 1 1 1 1", 0, 0, 0, 0, 1.0, 4.0},
        // Another module number reaches no module.
        {"Set 735t 3 1 1 1 1 0", 0, 0, 0, 0, 1.0, 4.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        exec(c.line);
        EXPECT_EQ(m->Out1(), c.out1);
        EXPECT_EQ(m->Out2(), c.out2);
        EXPECT_EQ(m->Rele1(), c.rele1);
        EXPECT_EQ(m->Rele2(), c.rele2);
        EXPECT_DOUBLE_EQ(m->Divider1(), c.div1);
        EXPECT_DOUBLE_EQ(m->Divider2(), c.div2);
    }
}

TEST_F(CommandTest, MemoryWordKeepsItsCase) {
    addModule("735t", 6, "735t 2 1 23 6 7374.7253 1 1 1 1 2.0 3.0");
    open();
    exec("set 735t 2 mem1 HeLLo");
    exec("Get 735t 1 mem1");
    ASSERT_EQ(replies.size(), 1u);
    // The text was extended with NUL characters, which read back as "?".
    EXPECT_EQ(replies[0], "735t 2  HeLLo???????????");

    exec("set 735t 2 mem2 ABCDEFGHIJKLMNOPQRSTUV");
    exec("get 735t 1 mem2");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], "735t 2  ABCDEFGHIJKLMNOP");

    // Entry 2 of the table does not exist: no reply.
    exec("get 735t 2 mem2");
    EXPECT_TRUE(replies.empty());
}

TEST_F(CommandTest, ReaddressingMovesTheFirstPresentModule) {
    addModule("745t", 6, "745t 2 1 23 6 91.85776 91.85776 2 2500.0");
    addModule("735v", 8, "735v 1 1 23 8 7374.7253 1 1 1 1 2.0 3.0");
    open();
    exec("set 745t 2 addr 9");
    EXPECT_EQ(t().t745t.FirstPresent(2)->Addr(), 9);
    exec("set 745t 2 addr 15");
    EXPECT_EQ(t().t745t.FirstPresent(2)->Addr(), 9);
    exec("set 735v 1 addr 9");
    EXPECT_EQ(t().t735v.FirstPresent(1)->Addr(), 8);
    EXPECT_THROW(exec("set 745t 2 addr nine"), CommandConvertError);
    EXPECT_EQ(t().t745t.FirstPresent(2)->Addr(), 9);
}

TEST_F(CommandTest, CharacteristicCodeOneToFive) {
    addModule("745t", 6, "745t 2 1 23 6 91.85776 91.85776 2 2500.0");
    open();
    Ttp745t* m = t().t745t.FirstPresent(2);
    const double copper = m->RtoT(100.0);
    exec("set 745t 2 1");
    const double platinum = m->RtoT(100.0);
    EXPECT_NE(copper, platinum);
    exec("set 745t 2 6");
    EXPECT_EQ(m->RtoT(100.0), platinum);
    exec("set 745t 2 2");
    EXPECT_EQ(m->RtoT(100.0), copper);
}

TEST_F(CommandTest, IndicationRowWithTooFewValuesThrows) {
    addModule("795b", 5, "795b 1 1 23 5 99.9");
    open();
    EXPECT_THROW(exec("set 795b 1 2 1 2"), CommandConvertError);
    EXPECT_THROW(exec("set 795b 1 x 1 2 3 4 5 6 7 8"), CommandConvertError);
    EXPECT_THROW(exec("set 795b 1 2 1 2 3 4 5 6 7 y"), CommandConvertError);
    EXPECT_NO_THROW(exec("set 795b 1 2 1 2.5 3,5 4 5 6 7 8"));
}

TEST_F(CommandTest, LinkRoutedModulesSendTextFrames) {
    // Link 1: the COM link whose COM number is 1.
    addModule("787x", 3, "787x 3 1 1 3 10 4");
    open();
    bench.takeTextFrames();
    exec("get 787x 1");
    std::vector<std::string> frames = bench.takeTextFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], " 787x     3    10.00000   4");
    // The component gets the Link-23 generator only.
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(GetColumn(replies[0], 1, 2), "787x 1");
}

TEST_F(CommandTest, WorkCycleServesCommandsAfterEveryModelTurn) {
    addModule("745t", 6, "745t 2 1 23 6 91.85776 91.85776 2 2500.0");
    open();
    set.WorkCycle();
    // 745t reports its two modules, and the pending command is offered once
    // per module routed to the component: after 745t (two), 787x and 788t.
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(GetColumn(replies[0], 1, 2), "745t 1");
    EXPECT_EQ(GetColumn(replies[1], 1, 2), "745t 2");
    EXPECT_EQ(events, (std::vector<std::string>{"take", "take", "take", "take", "end"}));

    events.clear();
    set.ServeCommands();
    EXPECT_EQ(events, (std::vector<std::string>{"take", "take", "take", "take"}));
}

TEST_F(CommandTest, RemoteConsoleCommandsAreReadFromTheLine) {
    // Link 5 is line 1 of board 1; on this bench board number 1 is COM 1.
    // No module is polled before the generators, whose frames would take
    // the text off the shared line.
    writeFile("tp745t.cfg", "");
    addModule("787x", 3, "787x 3 1 5 3 10 4");
    open();
    bench.sendText("Set 787x 1 7 6");
    set.WorkCycle();
    EXPECT_DOUBLE_EQ(t().t787x.Module(1)->SetPoint(), 7.0);
}

}  // namespace
}  // namespace yukt
