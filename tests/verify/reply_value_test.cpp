// Reply words as numbers, with the process in a locale whose decimal mark is
// a comma, as on the laboratory's computers.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "verify/point_table.h"

namespace yukt::verify {
namespace {

TEST(ReplyValue, ReadsPointAndCommaWhateverTheProcessLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8") && !std::setlocale(LC_ALL, "ru_RU.utf8"))
        GTEST_SKIP() << "ru_RU.UTF-8 is not installed (scripts/install-deps makes it)";
    struct Case {
        const char* word;
        bool number;
        double want;  // NaN: the value must come back as not a number
    } const cases[] = {
        {"4.02", true, 4.02},      {"4,02", true, 4.02},    {"-0.500", true, -0.5},
        {"1E3", true, 1000},       {".5", true, 0.5},       {"nan", true, NAN},
        {"-INF", true, -INFINITY}, {"inf", true, INFINITY}, {"4.02x", false, 0},
        {"Err", false, 0},         {"--1", false, 0},       {"0x10", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        const std::optional<double> v = ReplyValue({"745t", "2", c.word}, 3);
        ASSERT_EQ(v.has_value(), c.number);
        if (!c.number) continue;
        if (std::isnan(c.want))
            EXPECT_TRUE(std::isnan(*v));
        else
            EXPECT_EQ(*v, c.want);
    }
    EXPECT_FALSE(ReplyValue({"745t", "2"}, 3).has_value());
    std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
}  // namespace yukt::verify
