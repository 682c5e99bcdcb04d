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

// A per-channel procedure runs as the plan of its methodology.
Plan planOf(const Procedure& p, int kind) {
    std::string error;
    std::optional<Plan> plan = PlanOfProcedure(p, kind, error);
    EXPECT_TRUE(plan) << error;
    return plan.value_or(Plan{});
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
    VerificationRun run(planOf(currentProcedure(), 1), {1, 0}, &sink);
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
    // Drifting readings do not settle; three within the band do. A current
    // is read once a second, never back to back.
    double polled = 1.2;
    for (double v : {4.5, 4.004, 4.003}) {
        a = run.Reply(meter(v), polled + 0.1);
        EXPECT_TRUE(a.commands.empty());
        EXPECT_NEAR(a.wakeAt, polled + 1, 1e-9);
        EXPECT_TRUE(run.Tick(polled + 0.5).commands.empty());
        polled = a.wakeAt;
        EXPECT_EQ(run.Tick(polled).commands, std::vector<std::string>{"Get 745t 2"});
    }
    a = run.Reply(meter(4.002), polled + 0.1);
    ASSERT_EQ(sink.points.size(), 1u);
    EXPECT_EQ(sink.points[0].readings, (std::vector<double>{4.003, 4.002}));
    EXPECT_NEAR(sink.points[0].measured, 4.0025, 1e-9);
    EXPECT_EQ(sink.points[0].result, PointVerdict::Pass);
    EXPECT_EQ(a.commands[0], "Set 787x 1 12 6");  // the next point
    EXPECT_EQ(sink.started, (std::vector<int>{1, 2}));
    EXPECT_EQ(run.Percent(), 50);
}

// A procedure naming no module kind, or another kind, applies to none: its
// plan is refused with the reason, so nothing is sent to the bench.
TEST(RunSteps, ProcedureOfNoKindIsNotApplicable) {
    for (const std::vector<int>& kinds : {std::vector<int>{}, std::vector<int>{6}}) {
        Procedure p = currentProcedure();
        p.kinds = kinds;
        std::string error;
        EXPECT_FALSE(PlanOfProcedure(p, 1, error));
        EXPECT_NE(error.find("не относится к модулю 745t"), std::string::npos) << error;
    }
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
        VerificationRun run(planOf(currentProcedure(), 1), {1, 0}, &sink);
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

TEST(RunSteps, FrequencyPageCommandsAndReadings) {
    Procedure p = currentProcedure({0.5});
    p.kinds = {6};
    p.channel = 1;
    p.quantity = Quantity::Interval;
    p.settling = {0, 1, 0, 10, 1};
    VerificationRun run(planOf(p, 6), {6, 7374.6075308}, nullptr);
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

struct Asking : Sink {
    std::vector<Question> asked;
    void Asked(const Question& q) override { asked.push_back(q); }
};

PlanItem errorItem(int item, int channel, double nominal, Connection connection) {
    PlanItem it;
    it.item = item;
    it.operation = "7.4";
    it.kind = OperationKind::Error;
    it.channel = channel;
    it.nominal = nominal;
    it.connection = connection;
    it.tolerance.kind = ToleranceKind::Abs;
    it.tolerance.a = 0.01;
    it.tolerance.resolution = 0.001;
    it.settling = {0, 1, 0, 10, 1};
    return it;
}

TEST(RunSteps, PerChannelConnectionIsAskedAndARefusalLeavesTheChannelUnmeasured) {
    Plan plan;
    plan.kind = 2;  // 748x: channels 1..3 in one reply
    for (int c = 1; c <= 2; ++c) plan.items.push_back(errorItem(c, c, 4, Connection::PerChannel));
    Asking sink;
    VerificationRun run(plan, {2, 0}, &sink);
    run.Start(0);
    ASSERT_EQ(sink.asked.size(), 1u);
    EXPECT_EQ(sink.asked[0].text, "Подключите генератор к каналу 1");
    Actions a = run.Answer(Answer::Yes, "", 0);
    EXPECT_EQ(a.commands, (std::vector<std::string>{"Set 787x 1 4 6", "Get 787x 1"}));
    run.Reply("787x 1 4 6", 0);
    run.Reply("748x 2 4.001 9 9", 0);  // channel 1 is word 3
    ASSERT_EQ(sink.asked.size(), 2u);
    EXPECT_EQ(sink.asked[1].text, "Подключите генератор к каналу 2");
    a = run.Answer(Answer::No, "", 0);
    EXPECT_TRUE(a.finished);
    EXPECT_EQ(run.Result().verdict, RunVerdict::Interrupted);
    ASSERT_EQ(run.Attempts().size(), 2u);
    EXPECT_EQ(run.Attempts()[0].result, PointVerdict::Pass);
    EXPECT_EQ(run.Attempts()[1].remark, "генератор не подключён к каналу 2");
}

TEST(RunSteps, ReadingsOneTimerCountApartSettleAndAPointKeepsOnlyItsWindow) {
    // A 735x whose quartz is 1 % off reads 989.573 and 990.1044 Hz in turn
    // at 1000 Hz: one count of its timer, far above a band of 0.01 Hz.
    Plan plan;
    plan.kind = 6;
    PlanItem it = errorItem(1, 1, 1000, Connection::Series);
    it.quantity = Quantity::Frequency;
    it.settling = {0, 3, 0.01, 20, 3};
    plan.items = {it};
    Sink sink;
    VerificationRun run(plan, {6, 7374.6075308, "", "", 7374.2978}, &sink);
    run.Start(0);
    run.Reply("788t 1 0 1000 0", 0);
    // The first read after the delay counted edges from before the change of
    // the reference; within one step of its neighbour, it must not be used.
    run.Reply("735x 2 0 0 0 0 0 0 0 0 0 989.1", 1);
    for (int i = 0; i < 3; ++i) run.Reply("735x 2 0 0 0 0 0 0 0 0 0 " + FloatToStr(i % 2 ? 990.1044 : 989.573), 1);
    ASSERT_EQ(sink.points.size(), 1u);
    EXPECT_EQ(sink.points[0].readings, (std::vector<double>{989.573, 990.1044, 989.573}));

    // Readings that never agree: the point ends unmeasured with no more
    // readings than it could have used.
    VerificationRun drifting(plan, {6, 7374.6075308, "", "", 7374.2978}, &sink);
    drifting.Start(0);
    drifting.Reply("788t 1 0 1000 0", 0);
    for (int i = 0; i < 2001; ++i) drifting.Reply("735x 2 0 0 0 0 0 0 0 0 0 " + FloatToStr(990 + (i % 2) * 10), 1);
    drifting.Tick(21);
    EXPECT_EQ(sink.points.back().result, PointVerdict::NotMeasured);
    EXPECT_LE(sink.points.back().readings.size(), 6u);
}

TEST(RunSteps, PollsWaitingForTheModuleArePacedToItsUpdate) {
    // The reply that brings no reading yet: an interval still running
    // (waited for at the page's pace), a frequency input that has counted no
    // pulse since the last poll (read at the module's update).
    const struct {
        Quantity quantity;
        double nominal;
        std::string notYet;
        double period;
    } cases[] = {
        {Quantity::Interval, 0.5, "735x 2 0 0 0 1 0 0 0.300 0 0 0", 1.0},
        {Quantity::Frequency, 35, "735x 2 0 0 0 0 0 0 0 0 0 0", 0.1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.quantity));
        Procedure p = currentProcedure({c.nominal});
        p.kinds = {6};
        p.channel = c.quantity == Quantity::Interval ? 1 : 0;
        p.quantity = c.quantity;
        p.settling = {0, 1, 0, 10, 1};
        VerificationRun run(planOf(p, 6), {6, 7374.6075308}, nullptr);
        run.Start(0);
        EXPECT_EQ(run.Reply("788t 1 0 0.5 0", 0).commands, std::vector<std::string>{"Get 735x 2"});
        // The next poll waits for the module's update, never back to back.
        Actions a = run.Reply(c.notYet, 0.01);
        EXPECT_TRUE(a.commands.empty());
        EXPECT_NEAR(a.wakeAt, c.period, 1e-9);
        EXPECT_TRUE(run.Tick(c.period / 2).commands.empty());
        EXPECT_EQ(run.Tick(c.period).commands, std::vector<std::string>{"Get 735x 2"});
    }
}

}  // namespace
}  // namespace yukt::verify
