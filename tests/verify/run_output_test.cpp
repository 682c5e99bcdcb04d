// The --json lines stay JSON: a number that is not finite is printed as
// null, never as nan or inf (the run itself never hands such a value on).

#include "verify/run_output.h"

#include <gtest/gtest.h>

#include <cmath>

namespace yukt::verify {
namespace {

TEST(RunOutput, JsonNumbersAreNeverNanOrInfinity) {
    PointResult p;
    p.result = PointVerdict::Fail;
    p.nominal = INFINITY;
    p.measured = NAN;
    p.readings = {-INFINITY, 4};
    const std::string json = PointJson(p);
    for (const char* part : {"\"nominal\": null", "\"readings\": [null, 4]", "\"measured\": null"})
        EXPECT_NE(json.find(part), std::string::npos) << json;
}

}  // namespace
}  // namespace yukt::verify
