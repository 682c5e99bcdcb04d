// The run as a state machine: reply lines and times go in, commands and
// wake times come out; no instrument, no thread, no clock.

#include <gtest/gtest.h>

#include "verify/verification_run.h"

namespace yukt::verify {
namespace {

Procedure currentProcedure(std::vector<double> points = {4, 12}) {
    Procedure p;
    p.title = "t";
    p.kinds = {1};
    p.quantity = Quantity::Current;
    p.points = std::move(points);
    p.errorKind = ErrorKind::Abs;
    p.limit = 0.01;
    p.settling = {1.0, 3, 0.002, 10.0, 2};
    return p;
}

std::string meter(double mA) { return "745t 2   0.000 100.000 100.000   " + FloatToStr(mA) + " 0"; }

struct Sink : ProgressSink {
    std::vector<int> started;
    std::vector<PointResult> points;
    int finished = 0;
    void PointStarted(int index, int, double) override { started.push_back(index); }
    void PointFinished(const PointResult& p) override { points.push_back(p); }
    void RunFinished(const RunResult&) override { ++finished; }
};

TEST(RunSteps, SetConfirmDelayReadJudge) {
    Sink sink;
    VerificationRun run(currentProcedure(), {1, 0}, &sink);
    Actions a = run.Start(0);
    EXPECT_EQ(a.commands, (std::vector<std::string>{"Set 787x 1 4 6", "Get 787x 1"}));
    // A reading polled before the generator confirmed is stale: ignored.
    EXPECT_TRUE(run.Reply(meter(7), 0.1).commands.empty());
    a = run.Reply("787x 1    4.00000  6", 0.2);
    EXPECT_EQ(run.CurrentPhase(), VerificationRun::Phase::Delay);
    EXPECT_DOUBLE_EQ(a.wakeAt, 1.2);
    EXPECT_TRUE(run.Tick(0.5).commands.empty());  // early wake: nothing yet
    a = run.Tick(1.2);
    EXPECT_EQ(a.commands, std::vector<std::string>{"Get 745t 2"});
    // Drifting readings do not settle; three within the band do.
    for (double v : {4.5, 4.004, 4.003}) {
        a = run.Reply(meter(v), 1.3);
        EXPECT_EQ(a.commands, std::vector<std::string>{"Get 745t 2"});
    }
    a = run.Reply(meter(4.002), 1.4);
    ASSERT_EQ(sink.points.size(), 1u);
    EXPECT_EQ(sink.points[0].readings, (std::vector<double>{4.003, 4.002}));
    EXPECT_NEAR(sink.points[0].measured, 4.0025, 1e-9);
    EXPECT_EQ(sink.points[0].result, PointVerdict::Pass);
    EXPECT_EQ(a.commands[0], "Set 787x 1 12 6");  // the next point
    EXPECT_EQ(sink.started, (std::vector<int>{1, 2}));
    EXPECT_EQ(run.Percent(), 50);
}

// Drives the first point up to reading; returns the run.
void toReading(VerificationRun& run) {
    run.Start(0);
    run.Reply("787x 1    4.00000  6", 0);
    run.Tick(1);
}

TEST(RunSteps, EveryWayAPointGoesUnmeasuredInterruptsTheRun) {
    struct Case {
        const char* name;
        std::function<Actions(VerificationRun&)> act;
        const char* reason;
    };
    const Case cases[] = {
        {"never settles",
         [](VerificationRun& r) {
             toReading(r);
             for (int i = 0; i < 20; ++i) r.Reply(meter(4 + (i % 2) * 0.1), 2);
             return r.Tick(11);
         },
         "не установились"},
        {"module error",
         [](VerificationRun& r) {
             toReading(r);
             return r.Reply("745t 2 Err 5", 2);
         },
         "Err 5"},
        {"reading not a number",
         [](VerificationRun& r) {
             toReading(r);
             return r.Reply("745t 2   0.000 100.000 100.000   -nan 0", 2);
         },
         "показание не число: -nan"},
        {"generator refused",
         [](VerificationRun& r) {
             r.Start(0);
             return r.Reply("787x 1 Err 5", 0.1);
         },
         "генератор не подтвердил"},
        {"generator silent",
         [](VerificationRun& r) {
             r.Start(0);
             return r.Tick(10);
         },
         "генератор не ответил"},
        {"stopped mid-point",
         [](VerificationRun& r) {
             toReading(r);
             r.Reply(meter(4), 2);
             return r.Stop(2);
         },
         "остановлено"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sink sink;
        VerificationRun run(currentProcedure(), {1, 0}, &sink);
        const Actions a = c.act(run);
        EXPECT_TRUE(a.finished);
        // The generator goes back to its safe value.
        EXPECT_EQ(a.commands, std::vector<std::string>{"Set 787x 1 0 6"});
        EXPECT_EQ(run.Result().verdict, RunVerdict::Interrupted);
        ASSERT_EQ(sink.points.size(), 1u);
        EXPECT_EQ(sink.points[0].result, PointVerdict::NotMeasured);
        EXPECT_NE(sink.points[0].reason.find(c.reason), std::string::npos) << sink.points[0].reason;
        EXPECT_EQ(sink.finished, 1);
        EXPECT_TRUE(run.Stop(3).commands.empty());  // nothing after the end
    }
}

TEST(RunSteps, VerdictNeedsEveryPointMeasuredAndPassed) {
    auto point = [](PointVerdict v) {
        PointResult p;
        p.result = v;
        return p;
    };
    const auto pass = point(PointVerdict::Pass), fail = point(PointVerdict::Fail),
               none = point(PointVerdict::NotMeasured);
    EXPECT_EQ(Judge({pass, pass}, 2, false), RunVerdict::Fit);
    EXPECT_EQ(Judge({pass, fail}, 2, false), RunVerdict::Unfit);
    EXPECT_EQ(Judge({pass}, 2, false), RunVerdict::Interrupted);
    EXPECT_EQ(Judge({pass, none}, 2, false), RunVerdict::Interrupted);
    EXPECT_EQ(Judge({fail, none}, 2, false), RunVerdict::Interrupted);
    EXPECT_EQ(Judge({pass, pass}, 2, true), RunVerdict::Interrupted);
    EXPECT_EQ(Judge({}, 0, false), RunVerdict::Fit);
}

TEST(RunSteps, FrequencyPageCommandsAndReadings) {
    Procedure p = currentProcedure({0.5});
    p.kinds = {6};
    p.channel = 1;
    p.quantity = Quantity::Interval;
    p.settling = {0, 1, 0, 10, 1};
    VerificationRun run(p, {6, 7374.6075308}, nullptr);
    Actions a = run.Start(0);
    EXPECT_EQ(a.commands,
              (std::vector<std::string>{"Set 735x 2 0 0 0 0 1", "Set 788t 1 0.5 4", "Get 788t 1"}));
    a = run.Reply("788t 1 0 0.5 0", 0);
    EXPECT_EQ(a.commands, std::vector<std::string>{"Get 735x 2"});
    // Until detector 2 fires the interval runs on: no reading.
    run.Reply("735x 2 0 0 0 1 0 0 0.300 0 0 0", 0.3);
    EXPECT_TRUE(run.Result().results.empty());
    a = run.Reply("735x 2 0 0 0 1 1 0 0.5004 0 0 0", 0.6);
    ASSERT_TRUE(a.finished);
    EXPECT_NEAR(run.Result().results[0].measured, 0.5004, 1e-12);
    EXPECT_EQ(a.commands, std::vector<std::string>{"Set 788t 1 0.5 4"});
}

}  // namespace
}  // namespace yukt::verify
