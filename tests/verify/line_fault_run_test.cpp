// Faults of the line against whole runs on the in-process bench: at the
// opening of the instrument, in the middle of a point and at the safe
// command. Only the module's own answers judge it: a line fault is tried
// again, and one that lasts ends the run "прервано" with its reason or
// keeps it from beginning, never "не годен".

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <thread>

#include "common/text_file.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "instrument/set_bench.h"
#include "link/attempt_wait.h"
#include "link/tp6606.h"
#include "verify/line_policy.h"
#include "verify/bench_check.h"
#include "verify/instrument_runner.h"
#include "verify/procedure_library.h"
#include "verify/verification_run.h"

namespace yukt::verify {
namespace {

using sim::Fault;
using sim::FaultKind;

class LineFaultRun : public testing_set::SetBench {
  protected:
    void SetUp() override {
        SetBench::SetUp();
        Ttp6606::SetDefaultAttempts(3);
        bench.place(6, sim::makeDevice("745t"), sim::Role::UnderTest);
        appendFile("tp745t.cfg", "745t 2 1 23 6 100 100 1 2500.0\n");
        std::vector<ProcedureError> mistakes;
        const auto found = MethodologiesFor(YUKT_METHODOLOGIES_DIR, "745t", mistakes);
        ASSERT_EQ(found.size(), 1u);
        std::string text;
        FileFailure failure;
        ASSERT_TRUE(ReadRegularFile(found.at(0).path, text, failure, 1 << 20));
        // Three points of one reading each: a run of a few seconds.
        for (const auto& [from, to] :
             {std::pair<std::string, std::string>{"delay = 1.0", "delay = 0"},
              {"agree = 3", "agree = 1"},
              {"readings = 3", "readings = 1"},
              {"points = [4, 8, 12, 16, 20]", "points = [4, 12, 20]"}})
            text.replace(text.find(from), from.size(), to);
        ProcedureError e;
        const auto m = ParseMethodology(text, "745t.toml", e);
        ASSERT_TRUE(m) << e.Text();
        std::string error;
        plan = Expand(*m, {"745t", 0, 0}, error).value();
    }
    void TearDown() override {
        prbr.reset();
        TheModuleSet().CloseModuleSet();
        Ttp6606::SetDefaultAttempts(1);
        SetAttemptSpread(std::chrono::milliseconds(0));
        SetBench::TearDown();
    }

    // Opens the instrument; what keeps the run from beginning, if anything.
    std::string open() {
        prbr = std::make_unique<TcPrbr>();
        prbr->SetPathCfg(dir);
        prbr->SetOpenPribor(true);
        EXPECT_TRUE(prbr->OpenPribor());
        return BenchNotReady(TheModuleSet(), plan, kKind745t);
    }

    RunResult run() {
        InstrumentRunner runner(*prbr);
        runner.SetAnswerer([](const Question&) { return std::pair{Answer::Yes, std::string()}; });
        VerificationRun r(plan, RunSetup{kKind745t, 7374.6075308, "45T01A10", "", 0}, nullptr);
        RunResult result = runner.Run(r);
        attempts = r.Attempts();
        lineProblem = runner.LineProblem();
        safeProblem = runner.Problem();
        return result;
    }

    Plan plan;
    std::unique_ptr<TcPrbr> prbr;
    std::vector<Attempt> attempts;
    std::string lineProblem, safeProblem;
};

constexpr FaultKind kLineFaults[] = {FaultKind::Silence, FaultKind::BadSum, FaultKind::TornFrame,
                                     FaultKind::ZeroBytes};

// A reply lost at the opening is asked for again; a module, generator or
// meter that never answers keeps the run from beginning.
TEST_F(LineFaultRun, AtOpening) {
    struct Case {
        FaultKind kind;
        int address, times;
        const char* notReady;
    };
    std::vector<Case> cases;
    for (FaultKind k : kLineFaults) {
        cases.push_back({k, 6, 2, ""});
        cases.push_back({k, 6, sim::kForever, "модуль под поверкой не отвечает по адресу 6 (COM1)"});
        cases.push_back({k, 1, sim::kForever, "генератор 787x не отвечает по адресу 1 (COM1)"});
    }
    cases.push_back({FaultKind::Disappear, 6, 1, "модуль под поверкой не отвечает по адресу 6 (COM1)"});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(c.kind) << " at "
                                        << c.address << " x" << c.times);
        bench.clearFaults();
        Fault f;
        f.kind = c.kind;
        f.address = c.address;
        f.times = c.times;
        bench.injectFault(f);
        EXPECT_EQ(open(), c.notReady);
        if (std::string(c.notReady).empty()) {
            EXPECT_EQ(run().verdict, RunVerdict::Fit);
        }
        prbr.reset();
        TheModuleSet().CloseModuleSet();
    }
}

// Mid-run: a fault or two in a row costs nothing; one that lasts ends the
// run "прервано" with the reason, what was measured kept, the generator at
// its safe value.
TEST_F(LineFaultRun, MidPoint) {
    for (FaultKind k : kLineFaults) {
        for (int times : {1, 2, sim::kForever}) {
            SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(k) << " x" << times);
            bench.clearFaults();
            ASSERT_EQ(open(), "");
            Fault f;
            f.kind = k;
            f.address = 6;
            f.after = 2;  // the functional check passes first
            f.times = times;
            bench.injectFault(f);
            const RunResult r = run();
            if (times != sim::kForever) {
                EXPECT_EQ(r.verdict, RunVerdict::Fit);
                EXPECT_EQ(lineProblem, "");
            } else {
                EXPECT_EQ(r.verdict, RunVerdict::Interrupted);
                EXPECT_EQ(r.failed, 0);
                EXPECT_EQ(lineProblem,
                          "связь потеряна: модуль под поверкой не отвечает по адресу 6 (COM1)");
                ASSERT_FALSE(attempts.empty());
                EXPECT_EQ(attempts.back().remark, lineProblem);
            }
            EXPECT_EQ(bench.physics().generatorCurrentMa, 0);
            EXPECT_EQ(safeProblem, "");
            prbr.reset();
            TheModuleSet().CloseModuleSet();
        }
    }
}

// The meter answers beside a 745t under test ("Get 745t 2" reports every
// 745t); a run that does not use it goes on without it.
TEST_F(LineFaultRun, MeterNotUsedMayFallSilent) {
    ASSERT_EQ(open(), "");
    Fault f;
    f.kind = FaultKind::Silence;
    f.address = 4;
    f.times = sim::kForever;
    bench.injectFault(f);
    EXPECT_EQ(run().verdict, RunVerdict::Fit);
    EXPECT_EQ(lineProblem, "");
}

// The functional check fails only on the module's own answer.
TEST_F(LineFaultRun, FunctionalCheckJudgesOnlyAnAnswer) {
    for (FaultKind k : {FaultKind::Refuse, FaultKind::Silence, FaultKind::BadSum, FaultKind::Disappear}) {
        SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(k));
        bench.clearFaults();
        ASSERT_EQ(open(), "");
        Fault f;
        f.kind = k;
        f.address = 6;
        f.times = sim::kForever;
        bench.injectFault(f);
        const RunResult r = run();
        ASSERT_GE(attempts.size(), 2u);
        EXPECT_EQ(attempts[1].item, 2);  // 7.2 Опробование
        if (k == FaultKind::Refuse) {
            EXPECT_EQ(attempts[1].result, PointVerdict::Fail);
            EXPECT_EQ(r.verdict, RunVerdict::Unfit);
        } else {
            EXPECT_EQ(attempts[1].result, PointVerdict::NotMeasured);
            EXPECT_EQ(attempts[1].remark,
                      "связь потеряна: модуль под поверкой не отвечает по адресу 6 (COM1)");
            EXPECT_EQ(r.verdict, RunVerdict::Interrupted);
        }
        prbr.reset();
        TheModuleSet().CloseModuleSet();
    }
}

// The generator that does not take its safe value is named with the value
// it was last given; one lost reply is tried again.
TEST_F(LineFaultRun, AtTheSafeCommand) {
    // The generator's requests after the opening: the safe value at the
    // start, three points; the fifth is the safe value at the end.
    for (int times : {1, sim::kForever}) {
        SCOPED_TRACE(times);
        bench.clearFaults();
        ASSERT_EQ(open(), "");
        Fault f;
        f.kind = FaultKind::Silence;
        f.address = 1;
        f.after = 4;
        f.times = times;
        bench.injectFault(f);
        const RunResult r = run();
        EXPECT_EQ(r.verdict, RunVerdict::Fit);
        if (times == 1) {
            EXPECT_EQ(safeProblem, "");
            EXPECT_EQ(bench.physics().generatorCurrentMa, 0);
        } else {
            // It may have taken the value and lost only its replies: the
            // operator hears what it may still be at.
            EXPECT_EQ(safeProblem, "безопасное значение не подтверждено: генератор мог остаться на 20 мА");
        }
        prbr.reset();
        TheModuleSet().CloseModuleSet();
    }
}

// A fault of a second or three in the middle of a point: the attempts of
// the exchange, spread over the plan's settling timeout (at most
// kMaxLineSpreadS), outlast it and the point is measured; a longer one ends
// the run "прервано". The fault strikes once the first point's current is
// set and is cleared after `ms`.
TEST_F(LineFaultRun, FaultOfSecondsIsOutlasted) {
    EXPECT_EQ(LineSpreadOf(plan), kMaxLineSpreadS);
    for (FaultKind k : {FaultKind::Silence, FaultKind::BadSum}) {
        // Beyond the spread the line counts as lost: the spread is bounded.
        for (int ms : {400, 1500, 2500, 4500}) {
            SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(k) << " for " << ms
                                            << " ms");
            bench.clearFaults();
            ASSERT_EQ(open(), "");
            // Every frame on the line passes here, on the exchanging thread
            // with the bench locked: the fault strikes at the first frame
            // once the first point's current is set.
            std::promise<void> struck;
            bool safe = false, injected = false;
            bench.setFrameLog([&](const std::string&) {
                const double ma = bench.physics().generatorCurrentMa;
                safe = safe || std::abs(ma) < 0.01;
                if (injected || !safe || std::abs(ma - 4) > 0.01) return;
                injected = true;
                Fault f;
                f.kind = k;
                f.address = 6;
                f.times = sim::kForever;
                bench.injectFault(f);
                struck.set_value();
            });
            std::thread fault([&, done = struck.get_future()] {
                if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                bench.clearFaults();
            });
            const RunResult r = run();
            fault.join();
            bench.setFrameLog(nullptr);
            EXPECT_TRUE(injected);
            const bool outlasted = ms < kMaxLineSpreadS * 1000;
            EXPECT_EQ(r.verdict, outlasted ? RunVerdict::Fit : RunVerdict::Interrupted);
            EXPECT_EQ(r.notMeasured, outlasted ? 0 : 3);  // every point, the first struck
            EXPECT_EQ(r.failed, 0);
            EXPECT_EQ(lineProblem, outlasted ? ""
                                             : "связь потеряна: модуль под поверкой не отвечает "
                                               "по адресу 6 (COM1)");
            prbr.reset();
            TheModuleSet().CloseModuleSet();
        }
    }
}

// The waits between attempts end at once on a stop, and none begins until
// the next run spreads them again: a stop is never held up by the line.
TEST(AttemptWaits, CutEndsAWaitAtOnceAndKeepsLaterOnesFromBeginning) {
    SpreadLineAttempts(Plan{});
    EXPECT_EQ(AttemptSpread(), std::chrono::milliseconds(std::lround(kMaxLineSpreadS * 1000)));
    bool waited = true;
    // An hour's wait: without the cut the test would hang.
    std::thread waiter([&] {
        waited = WaitForAttempt(std::chrono::steady_clock::now() + std::chrono::hours(1));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CutLineWaits();
    waiter.join();
    EXPECT_FALSE(waited);
    EXPECT_EQ(AttemptSpread(), std::chrono::milliseconds(0));
    EXPECT_FALSE(WaitForAttempt(std::chrono::steady_clock::now() + std::chrono::hours(1)));
    SetAttemptSpread(std::chrono::milliseconds(0));
}

}  // namespace
}  // namespace yukt::verify
