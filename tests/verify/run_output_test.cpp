// The --json lines stay JSON: no number of a point, however it came about,
// is printed as nan or inf.

#include "verify/run_output.h"

#include <gtest/gtest.h>

#include <cmath>

#include "verify/verification_run.h"

namespace yukt::verify {
namespace {

struct Collect : ProgressSink {
    std::vector<PointResult> points;
    void PointStarted(int, int, double) override {}
    void PointFinished(const PointResult& p) override { points.push_back(p); }
    void RunFinished(const RunResult&) override {}
};

TEST(RunOutput, JsonHasNoNanOrInfinity) {
    // A module that answers "inf" ends its point unmeasured, with the word.
    Procedure proc;
    proc.kinds = {1};
    proc.quantity = Quantity::Current;
    proc.points = {4};
    proc.limit = 0.01;
    proc.settling = {0, 2, 0.002, 10.0, 2};
    Collect sink;
    VerificationRun run(proc, {1, 0}, &sink);
    run.Start(0);
    run.Reply("787x 1    4.00000  6", 0);
    run.Reply("745t 2   0.000 100.000 100.000   inf 0", 0.1);
    ASSERT_EQ(sink.points.size(), 1u);
    PointResult hand;  // numbers no run produces, as a last line of defence
    hand.result = PointVerdict::Fail;
    hand.nominal = INFINITY;
    hand.measured = NAN;
    hand.readings = {-INFINITY, 4};
    struct Case {
        PointResult point;
        const char* has;
    } const cases[] = {
        {sink.points[0], "\"measured\": null, \"error\": null"},
        {hand, "\"nominal\": null"},
    };
    for (const Case& c : cases) {
        const std::string json = PointJson(c.point);
        EXPECT_NE(json.find(c.has), std::string::npos) << json;
        const std::string numbers = json.substr(0, json.find("\"reason\""));
        EXPECT_EQ(numbers.find("inf"), std::string::npos) << json;
        EXPECT_EQ(numbers.find("nan"), std::string::npos) << json;
    }
    EXPECT_NE(PointJson(sink.points[0]).find("показание не число: inf"), std::string::npos);
}

}  // namespace
}  // namespace yukt::verify
