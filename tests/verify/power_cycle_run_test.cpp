// A 735x under test that loses its power in the middle of an interval or a
// count, on the in-process bench: back before the line gives up on it, the
// module has missed the event that opened the gate and shows detector 2
// alone, with an interval and a count of 0. That is no reading: the point
// goes unmeasured and the run "прервано", never "не годен".

#include <gtest/gtest.h>

#include <string>

#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "instrument/set_bench.h"
#include "link/tp6606.h"
#include "verify/instrument_runner.h"
#include "verify/plan.h"
#include "verify/procedure.h"
#include "verify/verification_run.h"

namespace yukt::verify {
namespace {

class PowerCycleRun : public testing_set::SetBench {
  protected:
    void SetUp() override {
        SetBench::SetUp();
        Ttp6606::SetDefaultAttempts(3);
        module = &bench.place(6, sim::makeDevice("735x"), sim::Role::UnderTest);
        appendFile("tp735x.cfg", "735x 2 1 23 6 7374.2978 1 1 0 0\n");
    }
    void TearDown() override {
        closeRun();
        Ttp6606::SetDefaultAttempts(1);
        SetBench::TearDown();
    }
    void closeRun() {
        bench.setFrameLog(nullptr);
        prbr.reset();
        TheModuleSet().CloseModuleSet();
    }

    // Once the point has reset the detectors and the generator has begun
    // the interval, the bench's time moves on past it (it moves with the
    // bytes only). With `cut`, the module goes off as the interval begins
    // and is back for the last attempt of its next exchange, after the
    // gate has opened.
    void passInterval(double intervalS, bool cut) {
        armed = begun = false;
        afterBegin = 0;
        bench.setFrameLog([this, intervalS, cut](const std::string& line) {
            if (line.find(" -> ") == std::string::npos) return;
            if (line.find("(addr 6 cmd 5) data 00 ") != std::string::npos) armed = true;
            if (armed && !begun && line.find("(addr 2 cmd 1) data 03 ") != std::string::npos) {
                begun = true;
                if (cut) module->setPower(false);
            } else if (begun && line.find("(addr 6 ") != std::string::npos && ++afterBegin == 3) {
                if (cut) {
                    bench.clock().advance(0.05);
                    module->setPower(true);
                }
                bench.clock().advance(intervalS + 0.5);
            }
        });
    }

    RunResult run(const std::string& procedure, double intervalS, bool cut) {
        ProcedureError e;
        const std::optional<Procedure> p = ParseProcedure(procedure, "test.toml", e);
        EXPECT_TRUE(p) << e.Text();
        bench.setFrameLog(nullptr);
        // The frequency points before it leave the generator's pulses
        // running (100 Hz), as the methodology does.
        bench.serve(2, 1, std::vector<std::uint8_t>{0x01, 0xFB, 0xB7});
        prbr = std::make_unique<TcPrbr>();
        prbr->SetPathCfg(dir);
        prbr->SetOpenPribor(true);
        EXPECT_TRUE(prbr->OpenPribor());
        // Opening resets the detectors too; the run's own reset is watched.
        passInterval(intervalS, cut);
        InstrumentRunner runner(*prbr);
        std::string error;
        std::optional<Plan> plan = PlanOfProcedure(p.value_or(Procedure{}), kKind735x, error);
        EXPECT_TRUE(plan) << error;
        VerificationRun r(plan.value_or(Plan{}), RunSetup{kKind735x, 7374.6075308}, nullptr);
        RunResult result = runner.Run(r);
        lineProblem = runner.LineProblem();
        return result;
    }

    sim::SimModule* module = nullptr;
    std::unique_ptr<TcPrbr> prbr;
    bool armed = false, begun = false;
    int afterBegin = 0;
    std::string lineProblem;
};

// The page's selector item is the channel of a procedure: 1 the interval,
// 2 the count of a 735x.
std::string procedure(const std::string& quantity, int item, double point, double limit,
                      const std::string& extra) {
    return "title = \"735x\"\ndoc = \"МП 002-2026\"\nkinds = [6]\nchannel = " +
           std::to_string(item) + "\nquantity = \"" + quantity +
           "\"\npoints = [" + FloatToStr(point) + "]\n" + extra +
           "[error]\nkind = \"abs\"\nlimit = " + FloatToStr(limit) +
           "\n[settling]\ndelay = 0\nagree = 1\nband = 0\ntimeout = 4\nreadings = 1\n";
}

TEST_F(PowerCycleRun, ModuleRestartedMidPointIsNeverUnfit) {
    struct Case {
        const char* name;
        std::string procedure;
        double intervalS;
    };
    const Case cases[] = {
        {"interval 5 s", procedure("interval", 1, 5, 0.001, ""), 5},
        {"count 20", procedure("count", 2, 20, 1, "frequency = 100\n"), 0.2},
    };
    // Each point once without the fault, measured and fit, then with it.
    for (const Case& c : cases) {
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (cut ? ", power cut" : ""));
            const RunResult r = run(c.procedure, c.intervalS, cut);
            EXPECT_TRUE(module->powered());
            EXPECT_EQ(lineProblem, "");  // the line came back: not lost
            EXPECT_EQ(r.verdict, cut ? RunVerdict::Interrupted : RunVerdict::Fit);
            EXPECT_EQ(r.failed, 0);
            ASSERT_EQ(r.results.size(), 1u);
            EXPECT_EQ(r.results[0].result, cut ? PointVerdict::NotMeasured : PointVerdict::Pass)
                << r.results[0].measured;
            EXPECT_EQ(r.results[0].reason, cut ? "детектор 1 не сработал за 4 с" : "");
            closeRun();
        }
    }
}

// The same rule on the run alone: a reply is a reading of an interval or a
// count only with both detectors fired; at the deadline the point names
// those that did not.
TEST(DetectorReadings, OnlyBothDetectorsFiredMakeAReading) {
    struct Case {
        Quantity quantity;
        const char* reply;  // ... D1 D2 N Ti ...
        const char* reason;  // empty: measured
    };
    const Case cases[] = {
        {Quantity::Interval, "735x 2 $0 $0 0.54240 1 1 0.000 5.000400 0 0", ""},
        {Quantity::Interval, "735x 2 $0 $0 0.54240 0 1 0.000 0.000000 0 0",
         "детектор 1 не сработал за 10 с"},
        {Quantity::Interval, "735x 2 $0 $0 0.54240 1 0 0.000 0.000000 0 0",
         "детектор 2 не сработал за 10 с"},
        {Quantity::Interval, "735x 2 $0 $0 0.54240 0 0 0.000 0.000000 0 0",
         "детекторы 1 и 2 не сработали за 10 с"},
        {Quantity::Count, "735x 2 $0 $0 0.54240 1 1 20.000 0.2 0 0", ""},
        {Quantity::Count, "735x 2 $0 $0 0.54240 0 1 0.000 0.000000 0 0",
         "детектор 1 не сработал за 10 с"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        Procedure p;
        p.title = "t";
        p.kinds = {kKind735x};
        p.channel = c.quantity == Quantity::Count ? 2 : 1;
        p.quantity = c.quantity;
        p.points = {c.quantity == Quantity::Count ? 20.0 : 5.0};
        p.frequencyHz = 100;
        p.errorKind = ErrorKind::Abs;
        p.limit = 1;
        p.settling = {0, 1, 0, 10, 1};
        std::string error;
        std::optional<Plan> plan = PlanOfProcedure(p, kKind735x, error);
        ASSERT_TRUE(plan) << error;
        VerificationRun run(*plan, {kKind735x, 7374.6075308}, nullptr);
        run.Start(0);
        run.Reply("788t 1 0 5 0", 0);
        Actions a = run.Reply(c.reply, 1);
        if (std::string(c.reason).empty()) {
            ASSERT_TRUE(a.finished);
            EXPECT_EQ(run.Result().results.at(0).result, PointVerdict::Pass);
            continue;
        }
        EXPECT_FALSE(a.finished);
        a = run.Tick(10);
        ASSERT_TRUE(a.finished);
        EXPECT_EQ(run.Result().verdict, RunVerdict::Interrupted);
        EXPECT_EQ(run.Result().results.at(0).result, PointVerdict::NotMeasured);
        EXPECT_EQ(run.Result().results.at(0).reason, c.reason);
    }
}

}  // namespace
}  // namespace yukt::verify
