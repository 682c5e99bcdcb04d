// Operator commands of yukt-bench and its control file.

#include "sim/bench_control.h"

#include <gtest/gtest.h>

namespace yukt::sim {
namespace {

TEST(BenchControl, CommandsChangeTheBench) {
    Bench bench;
    bench.installCalibrator(true);
    const struct {
        std::string line;
        std::function<bool(const Bench&)> holds;
    } cases[] = {
        {"module 787x",
         [](const Bench& b) {
             return b.underTest()->model() == "787x" && b.underTest()->address() == 3;
         }},
        {"address 6", [](const Bench& b) { return b.underTest()->address() == 6; }},
        {"param 1=7374.5",
         [](const Bench& b) { return b.underTest()->flash().param(1) == 7374.5; }},
        {"param 2 99,87", [](const Bench& b) { return b.underTest()->flash().param(2) == 99.87; }},
        {"coef 2 4", [](const Bench& b) { return b.underTest()->flash().coef(2) == 4.0; }},
        {"ident 45T01B12", [](const Bench& b) { return b.underTest()->ident() == "45T01B12"; }},
        {"switch verify",
         [](const Bench& b) { return b.modeSwitch() == ModeSwitch::Verification; }},
        {"switch replace",
         [](const Bench& b) { return b.modeSwitch() == ModeSwitch::Replacement; }},
        {"second 745t", [](const Bench& b) { return b.second() && b.second()->address() == 7; }},
        {"second none", [](const Bench& b) { return b.second() == nullptr; }},
        {"meter off", [](const Bench& b) { return b.meter() == nullptr; }},
        {"meter on", [](const Bench& b) { return b.meter() != nullptr; }},
        {"rtd 123.24", [](const Bench& b) { return b.physics().rtdOhm == 123.24; }},
        {"current-error 0.01", [](const Bench& b) { return b.physics().currentErrorMa == 0.01; }},
        {"current 12", [](const Bench& b) { return b.physics().generatorCurrentMa == 12.0; }},
        {"  # a comment", [](const Bench& b) { return b.physics().generatorCurrentMa == 12.0; }},
        {"unplug", [](const Bench& b) { return b.underTest() == nullptr; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(applyBenchCommand(bench, splitCommandLine(c.line)), "");
        EXPECT_TRUE(c.holds(bench));
    }
}

TEST(BenchControl, BadCommandsSayWhyAndChangeNothing) {
    Bench bench;
    bench.installCalibrator(true);
    EXPECT_NE(applyBenchCommand(bench, {"address", "6"}), "");  // nothing plugged yet
    applyBenchCommand(bench, {"module", "745t"});
    for (const std::string line :
         {"switch sideways", "module 999z", "param 6 1", "param 2 abc", "coef 3=2", "address -1",
          "meter maybe", "rtd", "fault sparks", "fault silence 16", "ident TOOLONGTEXT", "jump"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(applyBenchCommand(bench, splitCommandLine(line)), "");
    }
    EXPECT_EQ(bench.underTest()->model(), "745t");
    EXPECT_EQ(bench.underTest()->address(), 3);
    EXPECT_EQ(bench.modeSwitch(), ModeSwitch::Replacement);
}

TEST(BenchControl, FaultsFromTheControlFileLastUntilCleared) {
    Bench bench;
    bench.installCalibrator(false);
    ASSERT_EQ(applyBenchCommand(bench, {"fault", "silence", "1"}), "");
    EXPECT_TRUE(bench.serve(1, 7, {}).empty());
    EXPECT_TRUE(bench.serve(1, 7, {}).empty());
    EXPECT_FALSE(bench.serve(2, 7, {}).empty());
    ASSERT_EQ(applyBenchCommand(bench, {"fault", "clear"}), "");
    EXPECT_FALSE(bench.serve(1, 7, {}).empty());
}

}  // namespace
}  // namespace yukt::sim
