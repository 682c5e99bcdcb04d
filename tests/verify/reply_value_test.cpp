// A reply's value reads the same whatever the process locale: the
// workstation and yukt-verify --db run with the user's (Qt sets it).
#include <gtest/gtest.h>

#include <clocale>

#include "verify/point_table.h"

namespace yukt::verify {
namespace {

TEST(ReplyValue, ReadsCNotationUnderTheRussianLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") == nullptr) GTEST_SKIP() << "no ru_RU locale";
    const struct {
        const char* word;
        std::optional<double> value;
    } cases[] = {{"12.5", 12.5}, {"12,5", 12.5}, {"-1e-3", -0.001}, {"4", 4}, {"4.5x", {}}, {"Err", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(ReplyValue(ReplyWords(std::string("745t 2 ") + c.word), 3), c.value) << c.word;
    std::setlocale(LC_NUMERIC, before.c_str());
}

}  // namespace
}  // namespace yukt::verify
