#include "instrument/command_words.h"

#include <gtest/gtest.h>

namespace yukt {
namespace {

struct SplitCase {
    const char* line;
    bool taken;
    int count;
    const char* word2;
    const char* data;
};

TEST(SplitCommand, TrimsCommentsCaseAndNumberWord) {
    const SplitCase cases[] = {
        {"", false, 0, "", ""},
        {"   \t\r\n", false, 0, "", ""},
        {"    ;get 745x 1", false, 0, "", ""},
        {";Get 735t 2", false, 0, "", ""},
        {"Get 735T 2", true, 3, "735t", ""},
        {"\t get 735t 2 \r\n", true, 3, "735t", ""},
        {"get 745x x1", false, 0, "", ""},
        {"get 745x", false, 0, "", ""},
        {"get 745x $1F", true, 3, "745x", ""},
        {"get 745x -3", true, 3, "745x", ""},
        {"get  745x   7   ", true, 3, "745x", ""},
        // A tab inside the line belongs to the word.
        {"get 745x\t1", false, 0, "", ""},
        {"set 735t 2 mem1 HeLLo", true, 5, "735t", "HeLLo"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.line);
        std::optional<CommandWords> w = SplitCommand(c.line);
        ASSERT_EQ(w.has_value(), c.taken);
        if (!w) continue;
        EXPECT_EQ(w->Count, c.count);
        EXPECT_EQ((*w)[2], c.word2);
        EXPECT_EQ(w->Data, c.data);
    }
}

TEST(SplitCommand, LowerCasesEveryWordButKeepsTheDataWord) {
    std::optional<CommandWords> w = SplitCommand("SET 735T 2 MEM1 AbC-Ёж x");
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)[1], "set");
    EXPECT_EQ((*w)[4], "mem1");
    // Only A..Z are lowered; other characters pass unchanged.
    EXPECT_EQ((*w)[5], "abc-Ёж");
    EXPECT_EQ(w->Data, "AbC-Ёж");
    EXPECT_EQ((*w)[6], "x");
    EXPECT_EQ(w->N, 2);
}

TEST(SplitCommand, TakesTwelveWordsAtMost) {
    std::optional<CommandWords> w = SplitCommand("set 795b 1 2 1 2 3 4 5 6 7 8 THIRTEEN fourteen");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Count, 12);
    EXPECT_EQ((*w)[12], "8");
    EXPECT_EQ((*w)[13], "");
}

TEST(SplitCommand, NulSeparatesWords) {
    std::optional<CommandWords> w =
        SplitCommand(std::string_view("get\0"
                                      "745x 1",
                                      10));
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)[2], "745x");
    EXPECT_EQ(w->N, 1);
}

TEST(CommandNumbers, ConversionsThatThrowAndThoseThatDoNot) {
    EXPECT_EQ(IntOrThrow("12"), 12);
    EXPECT_EQ(IntOrThrow("$10"), 16);
    EXPECT_THROW(IntOrThrow(""), CommandConvertError);
    EXPECT_THROW(IntOrThrow("1.5"), CommandConvertError);

    // The operator's decimal comma and the command's point both convert.
    EXPECT_DOUBLE_EQ(LocaleRealOrThrow("12.5"), 12.5);
    EXPECT_DOUBLE_EQ(LocaleRealOrThrow("12,5"), 12.5);
    EXPECT_DOUBLE_EQ(LocaleRealOrThrow("-3"), -3);
    EXPECT_THROW(LocaleRealOrThrow(""), CommandConvertError);
    EXPECT_THROW(LocaleRealOrThrow("1.2.3"), CommandConvertError);
    EXPECT_THROW(LocaleRealOrThrow("abc"), CommandConvertError);

    EXPECT_EQ(RealWord("0.5"), 0.5);
    EXPECT_FALSE(RealWord("0,5"));
    EXPECT_FALSE(RealWord(""));
    EXPECT_EQ(BitWord("1"), 1);
    EXPECT_EQ(BitWord("0"), 0);
    EXPECT_FALSE(BitWord("2"));
    EXPECT_FALSE(BitWord("x"));

    // The word is echoed cut and escaped, however long it is.
    try {
        IntOrThrow("\x01" + std::string(1'000'000, '9'));
        ADD_FAILURE();
    } catch (const CommandConvertError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "'\\x01" + std::string(39, '9') + "…' is not a valid integer value");
    }
}

}  // namespace
}  // namespace yukt
