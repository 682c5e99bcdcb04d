#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "instrument/cprbr.h"
#include "instrument/instrument_state.h"
#include "instrument/model_tables.h"
#include "instrument/module_set.h"
#include "link/trace_log.h"
#include "link/trace_reader.h"
#include "set_bench.h"

namespace yukt {
namespace {

using namespace std::chrono_literals;
using testing_set::SetBench;

// What the component's events delivered, for the test thread to wait on.
class Recorder {
  public:
    void attach(TcPrbr& p) {
        p.SetOnGet([this](TcPrbr& sender) {
            std::lock_guard<std::mutex> g(m_lock);
            m_gets.push_back(sender.sGet());
            m_changed.notify_all();
        });
        p.SetOnSet([this](TcPrbr&) {
            std::lock_guard<std::mutex> g(m_lock);
            ++m_sets;
            m_changed.notify_all();
        });
        p.SetOnEndCycl([this](TcPrbr&) {
            std::lock_guard<std::mutex> g(m_lock);
            ++m_cycles;
            m_changed.notify_all();
        });
    }

    // Waits (at most a generous limit, so that a fault cannot hang the
    // test) until `done` holds; returns whether it does.
    template <class F>
    bool waitFor(F done, std::chrono::milliseconds limit = 10s) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, limit, [&] { return done(*this); });
    }

    int sets() const { return m_sets; }
    int cycles() const { return m_cycles; }
    const std::vector<std::string>& gets() const { return m_gets; }
    std::vector<std::string> getsCopy() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_gets;
    }
    int setsNow() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_sets;
    }
    int cyclesNow() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_cycles;
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_gets;
    int m_sets = 0;
    int m_cycles = 0;
};

class ComponentTest : public SetBench {
  protected:
    void TearDown() override {
        prbr.reset();
        // The process's set must not keep a port on this test's bench.
        TheModuleSet().CloseModuleSet();
        SetBench::TearDown();
    }

    void openComponent(int minTime = 170) {
        prbr = std::make_unique<TcPrbr>();
        rec.attach(*prbr);
        prbr->SetMinTime(minTime);
        prbr->SetPathCfg(dir);
        prbr->SetOpenPribor(true);
    }

    // Writes a command and waits until it is consumed.
    bool command(const std::string& line) {
        const int before = rec.setsNow();
        prbr->SetsSet(line);
        return rec.waitFor([&](Recorder& r) { return r.sets() > before; });
    }

    std::unique_ptr<TcPrbr> prbr;
    Recorder rec;
};

TEST(Component, DefaultsAfterConstruction) {
    TcPrbr p;
    EXPECT_FALSE(p.OpenPribor());
    EXPECT_TRUE(p.Pauze());
    EXPECT_EQ(p.MinTime(), 170);
    EXPECT_EQ(p.ReInit(), "");
    EXPECT_EQ(p.sParam(), "");
    EXPECT_EQ(p.nParam(), 0);
    EXPECT_EQ(p.SelParam(), noDefine);
    EXPECT_EQ(p.Priority(), TThreadPriority::tpNormal);
    EXPECT_EQ(p.sGet(), "");
    EXPECT_EQ(p.sSet(), "");
    EXPECT_EQ(p.PathCfg(), "./");
    EXPECT_FALSE(p.OnGet());
    EXPECT_EQ(p.CycleCount(), 0);
}

TEST(Component, PathCfgEndsInASlash) {
    const std::pair<const char*, const char*> cases[] = {
        {"cfg", "cfg/"},
        {"cfg/", "cfg/"},
        {"/etc/yukt", "/etc/yukt/"},
        {".\\smplcfg\\", ".\\smplcfg\\"},
        {"a\\b", "a\\b/"},
        {"", ""},
    };
    TcPrbr p;
    for (const auto& [in, out] : cases) {
        p.SetPathCfg(in);
        EXPECT_EQ(p.PathCfg(), out) << in;
    }
}

TEST_F(ComponentTest, PausedInstrumentServesCommandsButRunsNoCycle) {
    openComponent(20);
    ASSERT_TRUE(prbr->OpenPribor());
    EXPECT_TRUE(prbr->Pauze());
    ASSERT_TRUE(command("Get 745t 1"));
    std::vector<std::string> gets = rec.getsCopy();
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(GetColumn(gets[0], 1, 2), "745t 1");
    EXPECT_EQ(prbr->sGet(), gets[0]);
    EXPECT_EQ(prbr->sSet(), "");

    // Many ticks pass; none of them starts a cycle.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(prbr->CycleCount(), 0);
    EXPECT_EQ(rec.cyclesNow(), 0);
    EXPECT_EQ(rec.getsCopy().size(), 1u);
}

TEST_F(ComponentTest, RunningInstrumentPollsOnEveryTick) {
    openComponent(20);
    prbr->SetPauze(false);
    ASSERT_TRUE(rec.waitFor([](Recorder& r) { return r.cycles() >= 3; }));
    // Every cycle reports the meter (Link 23); the generators only on "get".
    for (const std::string& line : rec.getsCopy()) EXPECT_EQ(GetColumn(line, 1), "745t");

    prbr->SetPauze(true);
    ASSERT_TRUE(command("Set 787x 1 12 6"));
    ASSERT_TRUE(command("Get 787x 1"));
    EXPECT_EQ(prbr->sGet(), "787x 1   12.00000  6");
    EXPECT_GE(prbr->CycleCount(), 3);
}

// In the traffic trace, the requests of the poll cycle and of a command
// given as a repeated wait-poll are free; an ordinary command's are not.
TEST_F(ComponentTest, PollCycleAndWaitPollsAreFreeInTheTrace) {
    const std::string trace = dir + "t.trace";
    ASSERT_TRUE(StartTrace(trace));
    openComponent(20);
    ASSERT_TRUE(prbr->OpenPribor());
    auto requests = [&] {
        StopTrace();
        std::ifstream in(trace);
        TraceReader reader(in, trace);
        std::vector<bool> free;
        for (TraceRecord r; reader.next(r);)
            if (r.kind == TraceRecord::Kind::Frame && r.dir == TraceDir::Sent) free.push_back(r.free);
        EXPECT_EQ(reader.error(), "");
        StartTrace(trace);
        return free;
    };
    const std::size_t opening = requests().size();  // identification at opening: not free
    ASSERT_TRUE(command("Get 745t 1"));
    std::vector<bool> free = requests();
    ASSERT_GT(free.size(), opening);
    EXPECT_EQ(std::count(free.begin(), free.end(), true), 0);
    const int before = rec.setsNow();
    prbr->SetsSet("Get 745t 1", true);
    ASSERT_TRUE(rec.waitFor([&](Recorder& r) { return r.sets() > before; }));
    free = requests();
    ASSERT_GT(free.size(), opening + 1);
    EXPECT_TRUE(free.back());
    const std::size_t afterPoll = free.size();
    prbr->SetPauze(false);
    ASSERT_TRUE(rec.waitFor([](Recorder& r) { return r.cycles() >= 2; }));
    prbr->SetPauze(true);
    ASSERT_TRUE(command("Get 787x 1"));  // answered from the module's table
    free = requests();
    ASSERT_GT(free.size(), afterPoll);
    EXPECT_TRUE(std::all_of(free.begin() + static_cast<long>(afterPoll), free.end(),
                            [](bool f) { return f; }));
    StopTrace();
}

TEST_F(ComponentTest, ConversionErrorConsumesTheCommandAndTheWorkerGoesOn) {
    addModule("795b", 5, "795b 1 1 23 5 99.9");
    openComponent();
    ASSERT_TRUE(command("Set 795b 1 2 1 2"));
    EXPECT_EQ(prbr->sSet(), "");
    ASSERT_TRUE(command("Get 787x 1"));
    EXPECT_EQ(GetColumn(prbr->sGet(), 1, 2), "787x 1");
}

TEST_F(ComponentTest, UnknownCommandsAreConsumedWithoutReply) {
    openComponent();
    for (const char* line : {"hello", ";get 745t 1", "get 745t x", "set 747x 1 2"}) {
        ASSERT_TRUE(command(line)) << line;
    }
    EXPECT_TRUE(rec.getsCopy().empty());
}

TEST_F(ComponentTest, MinTimeReachesTheTimerAtItsNextTick) {
    openComponent(1500);
    prbr->SetPauze(false);
    std::this_thread::sleep_for(100ms);
    prbr->SetMinTime(20);
    // The running interval of 1.5 s goes on until its tick...
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(rec.cyclesNow(), 0);
    // ...after which ticks come every 20 ms.
    ASSERT_TRUE(rec.waitFor([](Recorder& r) { return r.cycles() >= 1; }));
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(rec.waitFor([](Recorder& r) { return r.cycles() >= 6; }));
    EXPECT_LT(std::chrono::steady_clock::now() - first, 1200ms);
}

TEST_F(ComponentTest, ReInitReadsOneModuleAgain) {
    addModule("745t", 6, "745t 2 1 23 6 91.85776 91.85776 2 2500.0");
    openComponent();
    const std::pair<const char*, const char*> cases[] = {
        {"745t 2", "Ok"}, {"745T 2", "Ok"},  {"  745t,2", "Ok"}, {"745t 3", "Err"},
        {"745t", "Err"},  {"745t x", "Err"}, {"745b 1", "Err"},  {"999x 1", "Err"},
        {"", "Err"},      {"787x 1", "Ok"},
    };
    for (const auto& [text, result] : cases) {
        prbr->SetReInit(text);
        EXPECT_EQ(prbr->ReInit(), result) << text;
    }
    // A module absent since the opening stays absent.
    bench.remove(6);
    prbr->SetReInit("745t 2");
    EXPECT_EQ(prbr->ReInit(), "Ok");
    // The re-read line takes effect: on Link 22 it leaves the component.
    writeFile("tp745t.cfg", "745t 1 1 23 4 91.85776 91.85776 2 2500.0\n745t 2 1 22 6 1 1 2 2500\n");
    prbr->SetReInit("745t 2");
    ASSERT_TRUE(command("get 745t 1"));
    EXPECT_EQ(rec.getsCopy().size(), 1u);
}

TEST_F(ComponentTest, WithoutBoardFileTheInstrumentDoesNotOpen) {
    std::filesystem::remove(dir + "tp6606.cfg");
    openComponent();
    EXPECT_FALSE(prbr->OpenPribor());
    prbr->SetsSet("Get 787x 1");
    EXPECT_FALSE(rec.waitFor([](Recorder& r) { return r.sets() > 0; }, 300ms));
    EXPECT_EQ(prbr->sSet(), "Get 787x 1");
}

TEST_F(ComponentTest, CloseAndReopen) {
    openComponent();
    ASSERT_TRUE(command("Get 787x 1"));
    prbr->SetOpenPribor(false);
    EXPECT_FALSE(prbr->OpenPribor());
    // As above: the pass that served the first command may still be running.
    { BusyClaim passEnded(TheInstrumentState()); }
    prbr->SetsSet("Get 788t 1");
    EXPECT_FALSE(rec.waitFor([](Recorder& r) { return r.sets() > 1; }, 300ms));

    // Reopening rebuilds the set on the same port and serves what waited.
    prbr->SetOpenPribor(true);
    ASSERT_TRUE(prbr->OpenPribor());
    ASSERT_TRUE(rec.waitFor([](Recorder& r) { return r.sets() > 1; }));
    EXPECT_EQ(GetColumn(prbr->sGet(), 1, 2), "788t 1");
    ASSERT_TRUE(command("Get 787x 1"));
    EXPECT_EQ(GetColumn(prbr->sGet(), 1, 2), "787x 1");
}

TEST_F(ComponentTest, SuspendedWorkerServesNoMore) {
    openComponent();
    ASSERT_TRUE(command("Get 787x 1"));
    prbr->SuspendWorker();
    // The pass that served the first command may still be running and would
    // serve a command written now; wait for it to end.
    { BusyClaim passEnded(TheInstrumentState()); }
    prbr->SetsSet("Get 787x 1");
    EXPECT_FALSE(rec.waitFor([](Recorder& r) { return r.sets() > 1; }, 300ms));
}

TEST_F(ComponentTest, DestructionWaitsForTheRunningPass) {
    openComponent();
    std::atomic<bool> inPass{false};
    std::atomic<bool> passDone{false};
    prbr->SetOnGet([&](TcPrbr&) {
        inPass = true;
        std::this_thread::sleep_for(200ms);
        passDone = true;
    });
    prbr->SetsSet("Get 787x 1");
    while (!inPass) std::this_thread::yield();
    prbr.reset();
    EXPECT_TRUE(passDone);
    EXPECT_FALSE(TheModuleSet().HoldsObjects());
}

TEST_F(ComponentTest, ShortLivedComponentLeavesTheOpenInstrumentAlone) {
    openComponent();
    {
        TcPrbr shortLived;
        EXPECT_FALSE(shortLived.OpenPribor());
    }
    EXPECT_TRUE(TheModuleSet().HoldsObjects());
    ASSERT_TRUE(command("Get 787x 1"));
    EXPECT_EQ(GetColumn(prbr->sGet(), 1, 2), "787x 1");
}

TEST_F(ComponentTest, ClosedComponentReleasesItsLinksWhenDestroyed) {
    openComponent();
    prbr->SetOpenPribor(false);
    // Closed, the set stays until the component goes.
    ASSERT_NE(TheModuleSet().Context().Links.Entry(1), nullptr);
    prbr.reset();
    // Its ports must not outlive it (a second program may need them).
    EXPECT_FALSE(TheModuleSet().HoldsObjects());
    openComponent();
    ASSERT_TRUE(prbr->OpenPribor());
    ASSERT_TRUE(command("Get 787x 1"));
}

}  // namespace
}  // namespace yukt
