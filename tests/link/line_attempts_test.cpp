// A line fault is tried again: every kind of fault the bench can put on the
// line, struck once, twice or for good, against one, three and four attempts
// per exchange; a refusal is the module's answer and is never repeated.

#include <gtest/gtest.h>

#include "link/com_port.h"
#include "link/link_hooks.h"
#include "link/tp6606.h"
#include "sim/bench.h"

namespace yukt {
namespace {

using sim::Fault;
using sim::FaultKind;

class LineAttempts : public ::testing::Test {
  protected:
    void SetUp() override {
        SetWaitPumpHook([](int) {});
        bench.installCalibrator(false);
        bench.setInstantTimeouts(true);
        SetComPortOpener([this](int, int, std::string&) { return bench.connect(); });
    }
    void TearDown() override {
        SetComPortOpener(nullptr);
        SetWaitPumpHook(nullptr);
        Ttp6606::SetDefaultAttempts(1);
    }
    sim::Bench bench;
};

struct Case {
    FaultKind kind;
    int times;     // replies struck
    int attempts;  // per exchange
    const char* ident;   // what identification gives
    int requests;        // requests on the line for it
};

TEST_F(LineAttempts, LineFaultsAreTriedAgainRefusalsAreNot) {
    const Case cases[] = {
        // One attempt, as the line protocol has it: the first fault stands.
        {FaultKind::Silence, 1, 1, "?", 1},
        {FaultKind::BadSum, 1, 1, "?", 1},
        // Three attempts outlast one or two faults of every kind...
        {FaultKind::Silence, 1, 3, "87X01A10", 2},
        {FaultKind::BadSum, 2, 3, "87X01A10", 3},
        {FaultKind::TornFrame, 2, 3, "87X01A10", 3},
        {FaultKind::ZeroBytes, 1, 3, "87X01A10", 2},
        {FaultKind::Noise, 5, 3, "87X01A10", 1},  // noise before a frame breaks nothing
        // ... and give up after the third.
        {FaultKind::Silence, 3, 3, "?", 3},
        {FaultKind::BadSum, sim::kForever, 3, "?", 3},
        {FaultKind::TornFrame, sim::kForever, 4, "?", 4},
        {FaultKind::Disappear, 1, 3, "?", 3},
        // A refusal is an answer.
        {FaultKind::Refuse, 1, 3, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(c.kind) << " x" << c.times
                                        << ", attempts " << c.attempts);
        bench.clearFaults();
        Ttp6606::SetDefaultAttempts(c.attempts);
        Ttp6606 link;
        EXPECT_EQ(link.Attempts(), c.attempts);
        link.SetComIndex(0);
        link.OpenLink(true);
        ASSERT_TRUE(link.IsOpen());
        link.SetAddr(1);
        Fault f;
        f.kind = c.kind;
        f.address = 1;
        f.times = c.times;
        bench.injectFault(f);
        const std::uint64_t before = bench.requestCount();
        EXPECT_EQ(link.ReadIdent(), c.ident);
        EXPECT_EQ(bench.requestCount() - before, static_cast<std::uint64_t>(c.requests));
        EXPECT_EQ(link.LastReceive(), std::string(c.ident) == "?" ? -1 : std::string(c.ident).empty() ? -3 : 0);
        link.OpenLink(false);
    }
}

}  // namespace
}  // namespace yukt
