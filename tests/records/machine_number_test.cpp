// Numbers kept as text in the database and the settings, under whatever
// locale the records' application object took from the environment.
#include "records/machine_number.h"

#include <gtest/gtest.h>

#include <cmath>

namespace yukt::records {
namespace {

TEST(MachineNumber, RoundTripsAndRefusesWhatIsNoNumber) {
    for (double v : {4.0025, -0.5, 1e-7, 12.0, 123456.789012345})
        EXPECT_EQ(MachineNumberOf(MachineNumber(v)), v) << MachineNumber(v).toStdString();
    EXPECT_EQ(MachineNumber(21.5), "21.5");
    struct Case {
        const char* text;
        std::optional<double> want;
    } const cases[] = {
        {" 21.5 ", 21.5},       {"1e-07", 1e-7},  // as older versions wrote it
        {"21,5", std::nullopt}, {"nan", std::nullopt},  {"inf", std::nullopt},
        {"", std::nullopt},     {"4.0x", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(MachineNumberOf(c.text), c.want) << c.text;
}

}  // namespace
}  // namespace yukt::records
