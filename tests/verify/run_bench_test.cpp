// Automatic runs on the in-process bench: the real instrument, drivers and
// link talk to simulated modules, the run drives them through the command
// queue as the workstation does.

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "common/text_file.h"

#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "instrument/set_bench.h"
#include "verify/instrument_runner.h"
#include "verify/procedure_library.h"
#include "verify/verification_run.h"

namespace yukt::verify {
namespace {

using testing_set::SetBench;

const char* const kCurrent = R"(
title = "745t ток"
doc = "МП 001-2026"
kinds = [1]
channel = 0
quantity = "current"
points = [4, 8, 12, 16, 20]
[error]
kind = "rel"
limit = 1.0
[settling]
delay = 0
agree = 2
band = 0.001
timeout = 5
readings = 2
)";

Procedure parse(const std::string& text) {
    ProcedureError e;
    std::optional<Procedure> p = ParseProcedure(text, "test.toml", e);
    EXPECT_TRUE(p) << e.Text();
    return p.value_or(Procedure{});
}

std::string with(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

class RunBench : public SetBench {
  protected:
    void TearDown() override {
        prbr.reset();
        TheModuleSet().CloseModuleSet();
        SetBench::TearDown();
    }

    void underTest(const std::string& model, const std::string& cfgLine) {
        bench.place(6, sim::makeDevice(model), sim::Role::UnderTest);
        appendFile("tp" + model + ".cfg", cfgLine + "\n");
    }

    RunResult run(const Procedure& p, int kind, double quartz = 7374.6075308) {
        prbr = std::make_unique<TcPrbr>();
        prbr->SetPathCfg(dir);
        prbr->SetOpenPribor(true);
        EXPECT_TRUE(prbr->OpenPribor());
        InstrumentRunner runner(*prbr);
        std::string error;
        const std::optional<Plan> plan = PlanOfProcedure(p, kind, error);
        EXPECT_TRUE(plan) << error;
        VerificationRun r(plan.value_or(Plan{}), RunSetup{kind, quartz}, nullptr);
        return runner.Run(r);
    }

    std::unique_ptr<TcPrbr> prbr;
};

std::vector<PointVerdict> verdicts(const RunResult& r) {
    std::vector<PointVerdict> v;
    for (const PointResult& p : r.results) v.push_back(p.result);
    return v;
}

constexpr auto kPass = PointVerdict::Pass, kFail = PointVerdict::Fail;

TEST_F(RunBench, CurrentInputPassesAndFailsWhereTheErrorExceedsTheLimit) {
    underTest("745t", "745t 2 1 23 6 100.00 100.00 1 2500.0");
    RunResult ok = run(parse(kCurrent), kKind745t);
    EXPECT_EQ(ok.verdict, RunVerdict::Fit);
    ASSERT_EQ(ok.results.size(), 5u);
    EXPECT_NEAR(ok.results[2].measured, 12, 1e-3);
    EXPECT_EQ(ok.results[2].readings.size(), 2u);
    prbr.reset();

    // 0.1 mA too much is 2.5 % at 4 mA and 1.25 % at 8 mA, under 1 % above.
    bench.physics().currentErrorMa = 0.1;
    RunResult bad = run(parse(kCurrent), kKind745t);
    EXPECT_EQ(bad.verdict, RunVerdict::Unfit);
    EXPECT_EQ(bad.failed, 2);
    EXPECT_EQ(verdicts(bad), (std::vector{kFail, kFail, kPass, kPass, kPass}));
    EXPECT_NEAR(bad.results[0].error, 2.5, 0.01);
    // The generator is left at the safe value.
    EXPECT_EQ(bench.physics().generatorCurrentMa, 0);
}

TEST_F(RunBench, GeneratorUnderTestIsReadByTheCalibratorsMeter) {
    underTest("787x", "787x 2 1 23 6 4 6");
    // The meter's shunt and reference resistance as its FLASH holds them.
    writeFile("tp745t.cfg", "745t 1 1 23 4 99.87 100.02 1 2500.0\n");
    RunResult r =
        run(parse(with(with(kCurrent, "\"current\"", "\"generator_current\""), "[1]", "[8]")),
            kKind787x);
    EXPECT_EQ(r.verdict, RunVerdict::Fit);
    ASSERT_EQ(r.results.size(), 5u);
    EXPECT_NEAR(r.results[4].measured, 20, 1e-3);
    EXPECT_EQ(bench.physics().underTestCurrentMa.value_or(-1), 0);
}

TEST_F(RunBench, ModuleThatVanishesMidRunIsNeverFit) {
    underTest("745t", "745t 2 1 23 6 100.00 100.00 1 2500.0");
    bench.injectFault({sim::FaultKind::Disappear, 6, 4, 1, 8});
    RunResult r = run(parse(kCurrent), kKind745t);
    EXPECT_EQ(r.verdict, RunVerdict::Interrupted);
    ASSERT_FALSE(r.results.empty());
    EXPECT_EQ(r.results.back().result, PointVerdict::NotMeasured);
    // The line's failure, named as such: nothing the module said.
    EXPECT_EQ(r.results.back().reason,
              "связь потеряна: модуль под поверкой не отвечает по адресу 6 (COM1)");
}

const char* const kFrequency = R"(
title = "735x частота"
doc = "МП 002-2026"
kinds = [6]
channel = 0
quantity = "frequency"
points = [100, 3500]
[error]
kind = "rel"
limit = 0.01
[settling]
delay = 0
agree = 2
band = 0.01
timeout = 10
readings = 2
)";

TEST_F(RunBench, FrequencyReferenceIsWhatTheGeneratorReallyProduces) {
    underTest("735x", "735x 2 1 23 6 7374.2978 1 1 0 0");
    RunResult r = run(parse(kFrequency), kKind735x);
    ASSERT_EQ(r.results.size(), 2u) << (r.results.empty() ? "" : r.results[0].reason);
    // The generator's divider cannot make 3500 Hz exactly.
    EXPECT_EQ(r.results[1].reference, ReferenceFrequency(3500, 7374.6075308));
    EXPECT_GT(std::abs(r.results[1].reference - 3500), 0.1);
    EXPECT_EQ(r.verdict, RunVerdict::Fit) << r.results[1].measured;
}

TEST_F(RunBench, MisSetQuartzMakesTheFrequencyInputUnfit) {
    underTest("735x", "735x 2 1 23 6 7374.2978 1 1 0 0");
    // The configured quartz is 1 % off the generator's real one.
    writeFile("tp788t.cfg", "788t 1 1 23 2 7300 100 20 2\n");
    RunResult r = run(parse(kFrequency), kKind735x, 7300);
    EXPECT_EQ(r.verdict, RunVerdict::Unfit);
}

// The shipped 748t methodology with no settling delay, every manual
// operation confirmed and the module's identification as the sim gives it.
class MethodologyBench : public RunBench {
  protected:
    Plan plan748t() {
        std::vector<ProcedureError> mistakes;
        auto found = MethodologiesFor(YUKT_METHODOLOGIES_DIR, "748t", mistakes);
        EXPECT_EQ(found.size(), 1u);
        std::string text = ReadAll(found.at(0).path);
        text.replace(text.find("delay = 1.0"), 11, "delay = 0");
        ProcedureError e;
        const auto m = ParseMethodology(text, "748t.toml", e);
        EXPECT_TRUE(m) << e.Text();
        std::string error;
        return Expand(m.value(), {"748t", 0, 0}, error).value();
    }

    RunResult runPlan(const Plan& plan, std::vector<int> items = {}) {
        underTest("748t", "748t 2 1 23 6 99.849 99.849");
        prbr = std::make_unique<TcPrbr>();
        prbr->SetPathCfg(dir);
        prbr->SetOpenPribor(true);
        EXPECT_TRUE(prbr->OpenPribor());
        InstrumentRunner runner(*prbr);
        runner.SetAnswerer([](const Question&) { return std::pair{Answer::Yes, std::string()}; });
        VerificationRun r(plan, RunSetup{kKind748t, 7374.6075308, "48T01A10", "", 0}, nullptr,
                          std::move(items));
        const RunResult& result = runner.Run(r);
        attempts = r.Attempts();
        return result;
    }

    static std::string ReadAll(const std::string& path) {
        std::string text;
        FileFailure failure;
        ReadRegularFile(path, text, failure, 1 << 20);
        return text;
    }

    std::vector<Attempt> attempts;
};

TEST_F(MethodologyBench, OneBadChannelOfA748tIsTheOnlyOneNamed) {
    bench.physics().channelErrorMa[11] = 0.1;  // 0.5 % of 20 mA: off at every point
    const Plan plan = plan748t();
    const RunResult r = runPlan(plan);
    EXPECT_EQ(r.verdict, RunVerdict::Unfit);
    EXPECT_EQ(r.notMeasured, 0);
    std::set<int> failedChannels;
    for (int item : r.failedItems) failedChannels.insert(plan.items[item - 1].channel);
    EXPECT_EQ(failedChannels, std::set<int>{11});
    EXPECT_EQ(r.failed, 5);
    // Manual, functional and software operations and 16 × 5 points, once each.
    EXPECT_EQ(attempts.size(), 3u + 16 * 5);
    EXPECT_EQ(attempts[2].found, "ЮКТ - 748T.01A v10 (48T01A10)");
}

TEST_F(MethodologyBench, SomeChannelsOnlyNeverGiveFit) {
    const Plan plan = plan748t();
    std::vector<int> items;
    for (const PlanItem& it : FilterChannels(plan, {1}).items) items.push_back(it.item);
    const RunResult r = runPlan(plan, items);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.notMeasured, 15 * 5);
    EXPECT_EQ(r.verdict, RunVerdict::Interrupted);
}

}  // namespace
}  // namespace yukt::verify
