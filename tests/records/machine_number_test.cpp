// Numbers kept as text in the database and the settings, under whatever
// locale the records' application object took from the environment.
#include "records/machine_number.h"

#include <gtest/gtest.h>

namespace yukt::records {
namespace {

TEST(MachineNumber, RoundTripsAndRefusesWhatIsNoNumber) {
    for (double v : {4.0025, -0.5, 1e-7, 123456.789012345})
        EXPECT_EQ(MachineNumberOf(MachineNumber(v)), v) << MachineNumber(v).toStdString();
    EXPECT_EQ(MachineNumberOf(" 1e-07 "), 1e-7);  // as older versions wrote it
    for (const char* bad : {"21,5", "nan", "inf", "", "4.0x"})
        EXPECT_EQ(MachineNumberOf(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace yukt::records
