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
        {"current-error-ch 11 0.1",
         [](const Bench& b) { return b.physics().inputCurrentMa(11) - b.physics().inputCurrentMa(10) == 0.1; }},
        {"current-error-ch 11=0", [](const Bench& b) { return b.physics().channelErrorMa.empty(); }},
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
          "meter maybe", "rtd", "fault sparks", "fault silence 16", "ident TOOLONGTEXT", "jump", "current-error-ch 17 1",
          "current-error-ch 0=1", "current-error-ch 3 x"}) {
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


// A FLASH write request (command 7): cell high, cell low, value.
std::vector<std::uint8_t> flashWrite(int cell, int value) {
    return {static_cast<std::uint8_t>(cell >> 8), static_cast<std::uint8_t>(cell & 0xFF),
            static_cast<std::uint8_t>(value)};
}
std::vector<std::uint8_t> flashRead(int cell) {
    return {static_cast<std::uint8_t>(0x10 + (cell >> 8)), static_cast<std::uint8_t>(cell & 0xFF)};
}

TEST(BenchControl, PowerCutKeepsTheWrittenCellsAndSilencesTheModuleUntilPowerReturns) {
    Bench bench;
    applyBenchCommand(bench, {"module", "745t"});
    ASSERT_EQ(applyBenchCommand(bench, splitCommandLine("fault power-cut 2")), "");
    EXPECT_FALSE(bench.serve(0, 7, flashWrite(0, 6)).empty());
    EXPECT_TRUE(bench.serve(0, 7, flashWrite(16, 6)).empty());  // stored, never confirmed
    EXPECT_TRUE(bench.serve(0, 7, flashWrite(32, 6)).empty());  // no power
    EXPECT_TRUE(bench.serve(0, 7, {}).empty());
    ASSERT_EQ(applyBenchCommand(bench, splitCommandLine("power on")), "");
    const Flash& f = bench.underTest()->flash();
    EXPECT_EQ(f.read(0), 6);
    EXPECT_EQ(f.read(16), 6);
    EXPECT_EQ(f.read(32), 3);
    EXPECT_EQ(bench.underTest()->address(), -1);  // the copies disagree at power-up
    EXPECT_FALSE(bench.serve(0, 7, flashWrite(32, 6)).empty());  // the cut struck once
    for (const char* bad : {"fault power-cut", "fault power-cut 0", "power maybe"})
        EXPECT_NE(applyBenchCommand(bench, splitCommandLine(bad)), "") << bad;
    ASSERT_EQ(applyBenchCommand(bench, splitCommandLine("power off")), "");
    EXPECT_TRUE(bench.serve(0, 7, {}).empty());
    ASSERT_EQ(applyBenchCommand(bench, {"fault", "clear"}), "");
    EXPECT_FALSE(bench.serve(0, 7, {}).empty());
}

TEST(BenchControl, LaggingFlashGivesTheOldValueOnceAfterAWrite) {
    Bench bench;
    applyBenchCommand(bench, {"module", "745t"});
    ASSERT_EQ(applyBenchCommand(bench, splitCommandLine("fault flash-lag")), "");
    auto readBack = [&](int cell) {
        const std::vector<std::uint8_t> frame = bench.serve(0, 7, flashRead(cell));
        // One data byte: its two characters sit before the sum and the final 10.
        return ((frame[frame.size() - 5] & 15) << 4) | (frame[frame.size() - 4] & 15);
    };
    bench.serve(0, 7, flashWrite(16, 6));
    EXPECT_EQ(readBack(16), 3);
    EXPECT_EQ(readBack(16), 6);
    EXPECT_EQ(readBack(0), 3);  // unwritten cells read at once
    ASSERT_EQ(applyBenchCommand(bench, {"fault", "clear"}), "");
    bench.serve(0, 7, flashWrite(0, 6));
    EXPECT_EQ(readBack(0), 6);
}

}  // namespace
}  // namespace yukt::sim
