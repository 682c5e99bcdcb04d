// The bench as the host sees it on the line: who answers where, the
// identification and FLASH requests, the mode switch, and faults.

#include <gtest/gtest.h>

#include "common/module_ids.h"
#include "raw_line.h"
#include "sim/bench.h"
#include "sim/calibrator.h"
#include "sim/device_table.h"

namespace yukt::sim {
namespace {

using simtest::Bytes;
using simtest::exchange;

std::string identAt(ByteTransport& t, int address) {
    const auto r = exchange(t, address, 7);
    if (!r) return "?";
    return r->accepted() ? r->text() : "";
}

Bytes flashRead(int cell) {
    return {static_cast<std::uint8_t>(0x10 + cell / 256), static_cast<std::uint8_t>(cell % 256)};
}
Bytes flashWrite(int cell, int value) {
    return {static_cast<std::uint8_t>(cell / 256), static_cast<std::uint8_t>(cell % 256),
            static_cast<std::uint8_t>(value)};
}

class CalibratorLine : public ::testing::Test {
  protected:
    CalibratorLine() {
        bench.installCalibrator(true);
        auto mut = makeDevice("745t");
        mut->flash().setAddress(3);
        bench.plugUnderTest(std::move(mut));
        host = bench.connect();
    }
    Bench bench;
    std::unique_ptr<ByteTransport> host;
};

TEST_F(CalibratorLine, AnswersIdentificationWhereTheModulesAre) {
    const std::string version =
        std::string(1, ids::kDefaultVariant) + std::string(ids::kDefaultVersion);
    const struct {
        int address;
        std::string ident;
    } cases[] = {
        {1, std::string(ids::kType787x) + version},
        {2, std::string(ids::kType788t) + version},
        {4, std::string(ids::kType745t) + version},
        {0, std::string(ids::kType745t) + version},  // the module under test, "Режим замены модуля"
        {3, "?"},                                    // its FLASH address does not count yet
        {5, "?"},
        {7, "?"},
        {15, "?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(identAt(*host, c.address), c.ident);
    }
    const auto r = exchange(*host, 2, 7);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 2 * 16 + 8);  // the address it was asked at, acceptance bit set
    EXPECT_EQ(r->data.size(), 8u);
}

TEST_F(CalibratorLine, TheSwitchMovesTheModuleUnderTest) {
    bench.setModeSwitch(ModeSwitch::Verification);
    EXPECT_EQ(identAt(*host, 0), "?");
    EXPECT_NE(identAt(*host, 3), "?");
    bench.plugSecond(makeDevice("745t"));
    EXPECT_NE(identAt(*host, 7), "?");
    bench.setModeSwitch(ModeSwitch::Replacement);
    EXPECT_NE(identAt(*host, 0), "?");
    EXPECT_NE(identAt(*host, 7), "?");
    EXPECT_EQ(identAt(*host, 3), "?");
    bench.unplugUnderTest();
    EXPECT_EQ(identAt(*host, 0), "?");
    bench.setMeter(false);
    EXPECT_EQ(identAt(*host, 4), "?");
}

TEST_F(CalibratorLine, FlashRequestsReadAndWriteCells) {
    // The meter keeps its reference resistor as parameter 5: copy 1 at 296..305.
    std::string text;
    for (int cell = 296; cell < 306; ++cell) {
        const auto r = exchange(*host, 4, 7, flashRead(cell));
        ASSERT_TRUE(r && r->accepted() && r->data.size() == 1);
        text.push_back(static_cast<char>(r->data[0] ^ ids::kMaskM[0]));
    }
    EXPECT_EQ(text, Flash::paramTextOf(kMeterReferenceOhm));

    // The address moves only when the module restarts.
    for (int cell : {0, 16, 32}) {
        const auto w = exchange(*host, 0, 7, flashWrite(cell, 6));
        ASSERT_TRUE(w && w->accepted());
    }
    const auto a = exchange(*host, 0, 7, flashRead(16));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->data, Bytes{6});
    bench.setModeSwitch(ModeSwitch::Verification);
    EXPECT_NE(identAt(*host, 3), "?");
    EXPECT_EQ(identAt(*host, 6), "?");
    const auto reset = exchange(*host, 3, 0);
    ASSERT_TRUE(reset && reset->accepted());
    EXPECT_EQ(identAt(*host, 3), "?");
    EXPECT_NE(identAt(*host, 6), "?");

    // Requests that are neither a read nor a write are refused.
    for (const Bytes& bad : {Bytes{0x0F, 0x00}, Bytes{0x10, 0, 1}, Bytes{1}, Bytes{0x20, 0}}) {
        const auto r = exchange(*host, 6, 7, bad);
        ASSERT_TRUE(r);
        EXPECT_FALSE(r->accepted());
    }
}

TEST_F(CalibratorLine, TwoModulesAtOneAddressGarbleTheReply) {
    bench.setModeSwitch(ModeSwitch::Verification);
    bench.underTest()->flash().setAddress(1);
    bench.underTest()->powerOn();
    simtest::writeAll(*host, simtest::requestFrame(1, 7));
    const Bytes raw = simtest::readAll(*host);
    EXPECT_FALSE(raw.empty());
    EXPECT_FALSE(simtest::parseReply(raw));
}

TEST_F(CalibratorLine, FaultsDoWhatTheySay) {
    const struct {
        const char* name;
        Fault fault;
        bool parses;
        bool accepted;
    } cases[] = {
        {"silence", {FaultKind::Silence, 1}, false, false},
        {"refusal", {FaultKind::Refuse, 1}, true, false},
        {"bad sum", {FaultKind::BadSum, 1}, false, false},
        {"noise", {FaultKind::Noise, 1, 0, 1, 5}, true, true},
        {"torn frame", {FaultKind::TornFrame, 1, 0, 1, 9}, false, false},
        {"zero bytes", {FaultKind::ZeroBytes, 1, 0, 1, 40}, false, false},
        {"other address", {FaultKind::Silence, 2}, true, true},
        {"later", {FaultKind::Silence, 1, 1}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bench.clearFaults();
        bench.injectFault(c.fault);
        simtest::writeAll(*host, simtest::requestFrame(1, 7));
        const Bytes raw = simtest::readAll(*host);
        const auto r = simtest::parseReply(raw);
        EXPECT_EQ(r.has_value(), c.parses);
        if (r) {
            EXPECT_EQ(r->accepted(), c.accepted);
        }
        if (c.fault.kind == FaultKind::Noise) {
            EXPECT_EQ(raw.size(), 10u + 8u * 2 + 5u);
            EXPECT_EQ(std::count(raw.begin(), raw.begin() + 5, 170), 0);
        }
        if (c.fault.kind == FaultKind::TornFrame) {
            EXPECT_EQ(raw.size(), 9u);
        }
        if (c.fault.kind == FaultKind::ZeroBytes) {
            EXPECT_EQ(raw, Bytes(40, 0));
        }
        // A fault for one reply is spent afterwards.
        if (c.fault.times == 1 && c.fault.after == 0 && c.fault.address == 1) {
            EXPECT_NE(identAt(*host, 1), "?");
        }
    }
}

TEST_F(CalibratorLine, AModuleCanDisappearMidRun) {
    bench.injectFault({FaultKind::Disappear, 0, 2});
    EXPECT_NE(identAt(*host, 0), "?");
    EXPECT_NE(identAt(*host, 0), "?");
    EXPECT_EQ(identAt(*host, 0), "?");
    EXPECT_EQ(identAt(*host, 0), "?");
    EXPECT_NE(identAt(*host, 1), "?");  // the others stay
    bench.clearFaults();
    EXPECT_NE(identAt(*host, 0), "?");
}

TEST_F(CalibratorLine, TextFramesAndUnaskedBytes) {
    simtest::writeAll(*host, {31, 31, 'G', 'e', 't', '0', 26});
    EXPECT_EQ(bench.takeTextFrames(), std::vector<std::string>{"Get"});
    EXPECT_TRUE(bench.takeTextFrames().empty());
    bench.sendText("745t 1");
    const Bytes raw = simtest::readAll(*host);
    ASSERT_GE(raw.size(), 4u);
    EXPECT_EQ(raw.front(), 31);
    EXPECT_EQ(raw.back(), 26);
}

TEST(BenchClock, SimulatedTimeMovesWithTheBytesOnTheLine) {
    Bench bench;
    bench.installCalibrator(false);
    bench.setLineSpeed(9600);
    auto host = bench.connect();
    const double before = bench.now();
    ASSERT_TRUE(exchange(*host, 1, 7));
    // 10 request bytes and 26 reply bytes, 10 bits each.
    EXPECT_NEAR(bench.now() - before, 36 * 10 / 9600.0, 1e-12);
    bench.clock().advance(1.5);
    EXPECT_NEAR(bench.now() - before, 36 * 10 / 9600.0 + 1.5, 1e-12);
    bench.clock().setMode(BenchClock::Mode::Real);
    EXPECT_GE(bench.now(), 1.5);
}

TEST(BenchLog, WritesOneLinePerFrame) {
    Bench bench;
    bench.installCalibrator(false);
    std::vector<std::string> lines;
    bench.setFrameLog([&](const std::string& l) { lines.push_back(l); });
    auto host = bench.connect();
    exchange(*host, 1, 7);
    exchange(*host, 9, 7);
    ASSERT_EQ(lines.size(), 4u);
    // The host trace's format: time stamp, line, direction, bytes, decoding.
    auto body = [](const std::string& l) { return l.substr(l.find(' ') + 1); };
    EXPECT_EQ(body(lines[0]), "bench -> AA AA 55 30 31 31 37 31 38 0A | LEN 01 HDR 17 (addr 1 cmd 7) data - SUM 18");
    EXPECT_EQ(body(lines[1]).rfind("bench <- AA AA 55 30 39 31 38 33 38 33 37 35 38", 0), 0u)
        << lines[1];
    EXPECT_NE(lines[1].find("(addr 1 accepted) data 38 37 58"), std::string::npos) << lines[1];
    EXPECT_EQ(body(lines[3]), "bench == nobody at 9");
    EXPECT_EQ(bench.requestCount(), 2u);
}

}  // namespace
}  // namespace yukt::sim
