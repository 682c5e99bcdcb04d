#include "common/console_line.h"

#include <gtest/gtest.h>

namespace yukt {
namespace {

TEST(ConsoleLine, LinesAndTheLimit) {
    ConsoleLineBuffer c;
    std::vector<std::string> sunk;
    c.setSink([&](const std::string& s) { sunk.push_back(s); });

    c.ConsoleText("??? ");
    c.ConsoleLine("Обрыв линии по каналу 3");
    EXPECT_EQ(c.lastLine(), "??? Обрыв линии по каналу 3");
    EXPECT_EQ(c.text(), "");

    // A text longer than the buffer is cut to 137 characters (not bytes).
    std::string longRu;
    for (int i = 0; i < 150; ++i) longRu += "ж";
    c.ConsoleLine(longRu);
    EXPECT_EQ(c.lastLine().size(), 137u * 2);

    // What is already there is cut so that the new text fits.
    c.ConsoleText(std::string(100, 'a'));
    c.ConsoleLine(std::string(50, 'b'));
    EXPECT_EQ(c.lastLine(), std::string(87, 'a') + std::string(50, 'b'));

    c.ConsoleLine("");
    EXPECT_EQ(c.lastLine(), "");
    ASSERT_EQ(c.lines().size(), 4u);
    EXPECT_EQ(sunk.size(), 4u);
    EXPECT_EQ(sunk[0], "??? Обрыв линии по каналу 3");
}

}  // namespace
}  // namespace yukt
