// Evaluations the PC adds to the flowmeter and Q-factor modules, and the
// shared line texts of the frequency drivers.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "modules/tp735d.h"
#include "modules/tp735lines.h"
#include "modules/tp735r.h"

namespace yukt {
namespace {

// An 18-byte record: "\", two bytes the evaluation skips, five 24-bit values.
std::string record(const std::vector<std::uint32_t>& w, const std::string& lead = "\\ab") {
    std::string r = lead;
    for (std::uint32_t v : w) {
        r += static_cast<char>(v & 0xFF);
        r += static_cast<char>((v >> 8) & 0xFF);
        r += static_cast<char>((v >> 16) & 0xFF);
    }
    return r;
}

TEST(Tp735dRecord, Evaluation) {
    const double tick = 0.5424;
    struct Case {
        const char* what;
        std::string bytes;
        double sA, sB, s3, s4;  // sums/differences in ticks: TA, TB, tauA, tauB sources
    };
    const std::vector<Case> cases = {
        // Differences 100, 200, 300, 400: TA from 400 + 200, TB from 300 + 100.
        {"five values", record({0, 100, 300, 600, 1000}), 600, 400, 400, 300},
        {"order of differences does not matter", record({0, 400, 500, 800, 1000}), 600, 400, 400,
         300},
        {"captures wrap at 2^24", record({0xFFFFF0, 0x10, 0x110, 0x2000, 0x2001}), 0x1EF0 + 0x20,
         0x100 + 1, 0x1EF0, 0x100},
        {"leading blanks are dropped", " " + record({0, 100, 300, 600, 1000}), 600, 400, 400, 300},
        {"17 bytes", record({0, 100, 300, 600, 1000}).substr(0, 17), 0, 0, 0, 0},
        {"19 bytes", record({0, 100, 300, 600, 1000}) + "x", 0, 0, 0, 0},
        {"no backslash", record({0, 100, 300, 600, 1000}, "/ab"), 0, 0, 0, 0},
        {"empty", "", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const QRecord r = EvaluateQRecord(c.bytes, tick);
        EXPECT_NEAR(r.TA, c.sA * tick * 3, 1e-9) << c.what;
        EXPECT_NEAR(r.TB, c.sB * tick * 3, 1e-9) << c.what;
        EXPECT_NEAR(r.TauA, c.s3 * tick * 3 / 1536, 1e-12) << c.what;
        EXPECT_NEAR(r.TauB, c.s4 * tick * 3 / 1536, 1e-12) << c.what;
        if (c.s3 == 0) {
            EXPECT_EQ(r.Q, 0) << c.what;
        }
    }
    // Q = 1 / (sqrt(tauA / tauB) - sqrt(tauB / tauA)) with tauA : tauB = 4 : 3.
    EXPECT_NEAR(EvaluateQRecord(record({0, 100, 300, 600, 1000}), tick).Q,
                1 / (std::sqrt(4.0 / 3) - std::sqrt(3.0 / 4)), 1e-9);
    // Equal decay times: no Q rather than a division by zero.
    EXPECT_EQ(EvaluateQRecord(record({0, 100, 200, 300, 400}), tick).Q, 0);
}

TEST(Tp735rFlowmeter, Evaluation) {
    const std::string start =
        "735r 1 $00000000 $00000000    0.54240  $00000000 $00000000 1 0   100.0000  7374.29600     "
        "  "
        "0 0    0.0000";
    auto current = [](const std::string& a, const std::string& b, const std::string& tick,
                      const std::string& k1) {
        return "735r 1 " + a + " " + b + " " + tick + "  $00000000 $00000000 " + k1 +
               " 0   100.0000  7374.29600       0 0    0.0000";
    };
    struct Case {
        const char* what;
        FlowmeterState before;
        std::string startLine, currentLine;
        std::string line;
        double t1, dT1;
    };
    const std::vector<Case> cases = {
        {"first evaluation",
         {},
         start,
         current("$00000064", "$000003E8", "0.54240", "1"),
         "735r 1 T1=5.424000  dT1=2712.000000  QZ=7374.29600",
         5.424,
         5424},
        {"change against the previous T1, reversed flow",
         {5.424, 5424},
         start,
         current("$000000C8", "$00000834", "0.54240", "0"),
         "735r 1 T1=5.695200  dT1=-2847.600000  QZ=7374.29600",
         5.6952,
         -271.2},
        {"equal pulse counters",
         {},
         start,
         current("$00000000", "$000003E8", "0.54240", "1"),
         "735r 1 T1=-1.000000  dT1=-500.000000  QZ=7374.29600",
         -1,
         -1000},
        {"counters wrap",
         {},
         "735r 1 $FFFFFFF0 $FFFFFF00    0.54240  $00000000 $00000000 1 0   100.0000  7374.29600",
         current("$00000010", "$00000100", "0.54240", "1"),
         "735r 1 T1=8.678400  dT1=4339.200000  QZ=7374.29600",
         8.6784,
         8678.4},
        {"tick period too long",
         {},
         start,
         current("$00000064", "$000003E8", "0.70000", "1"),
         "",
         0,
         0},
        {"tick period too short",
         {},
         start,
         current("$00000064", "$000003E8", "0.49999", "1"),
         "",
         0,
         0},
        {"failed start poll",
         {},
         " 735r    1   Err 5",
         current("$00000064", "$000003E8", "0.54240", "1"),
         "",
         0,
         0},
        {"failed current poll", {}, start, " 735r    1   Err 5", "", 0, 0},
        {"another model", {}, start, "735t 1 $00000064 $000003E8    0.54240", "", 0, 0},
    };
    for (const Case& c : cases) {
        FlowmeterState state = c.before;
        EXPECT_EQ(EvaluateFlowmeter(c.startLine, c.currentLine, state), c.line) << c.what;
        if (c.line.empty()) {
            EXPECT_EQ(state.PrevT1, c.before.PrevT1) << c.what;
        } else {
            EXPECT_NEAR(state.PrevT1, c.t1, 1e-9) << c.what;
            EXPECT_NEAR(state.PrevDT1, c.dT1, 1e-6) << c.what;
        }
    }
}

TEST(Tp735Lines, AbsentAndFailedLines) {
    struct Case {
        Route route;
        std::string line;
    };
    const std::vector<Case> cases = {
        {Route::Link, " 735x    2   Err 4"},
        {Route::Dat, " 735x     2  Err 4"},
        {Route::Console, " 735x     2   Err 4"},
        {Route::Reply, "735x 2 Err 4"},
    };
    for (const Case& c : cases) EXPECT_EQ(AbsentLine735("735x", 2, c.route), c.line);
    EXPECT_EQ(FailedLine735("735t", 12), " 735t    12   Err 5");
}

TEST(Tp735Lines, NumberFormats) {
    EXPECT_EQ(Fix(0.5424, 10, 5), "   0.54240");
    EXPECT_EQ(Fix(-1.5, 9, 4), "  -1.5000");
    EXPECT_EQ(Fix(123456789.5, 9, 4), "123456789.5000");
}

TEST(Tp735Lines, MemoryTextIsFittedToSixteenCharacters) {
    struct Case {
        std::string word, text;
    };
    const std::vector<Case> cases = {
        {"MixedCase", std::string("MixedCase\0\0\0\0\0\0\0", 16)},
        {"0123456789ABCDEFGHIJ", "0123456789ABCDEF"},
        {"0123456789ABCDEF", "0123456789ABCDEF"},
        {"", std::string(16, '\0')},
        {"ПриборНомерДвадцать", "ПриборНомерДвадц"},
    };
    for (const Case& c : cases) EXPECT_EQ(FitMemoryText(c.word), c.text) << c.word;
}

}  // namespace
}  // namespace yukt
