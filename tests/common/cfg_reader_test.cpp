#include "common/cfg_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/cp1251.h"

namespace yukt {
namespace {

TEST(CfgReader, WordsSkipCommentsBlankLinesAndStopAtCtrlZ) {
    CfgReader in;
    in.SetText(";Настройка\n\n   \t \n" + std::string(80, ' ') +
                   ";indented comment\n"
                   "745t 1 5\n\t787x\t2\n  $300 1\n\x1A"
                   "745t 9 9\n",
               "tp745t.cfg");
    std::vector<std::string> words;
    std::string w;
    while (in.ReadWord(w)) {
        words.push_back(w);
        in.SkipLine();
    }
    EXPECT_EQ(words, (std::vector<std::string>{"745t", "787x", "$300"}));
    EXPECT_EQ(in.ReadWord(), "");
}

TEST(CfgReader, CommentAfterMoreThan80BlanksIsAWord) {
    CfgReader in;
    in.SetText(std::string(81, ' ') + ";x\n", "t.cfg");
    EXPECT_EQ(in.ReadWord(), ";x");
}

TEST(CfgReader, WordIsAtMost80Characters) {
    CfgReader in;
    in.SetText(std::string(85, 'w') + " 1\n", "t.cfg");
    EXPECT_EQ(in.ReadWord(), std::string(80, 'w'));
}

TEST(CfgReader, NumbersSkipBlanksTabsAndLineEnds) {
    CfgReader in;
    in.SetText("745t  1\t5\r\n  8\n\n 9   -2.5e1 $1F\n", "t.cfg");
    EXPECT_EQ(in.ReadWord(), "745t");
    int a = 0, b = 0, c = 0, d = 0, e = 0;
    double r = 0;
    EXPECT_TRUE(in.ReadInt(a) && in.ReadInt(b) && in.ReadInt(c) && in.ReadInt(d));
    EXPECT_TRUE(in.ReadReal(r));
    EXPECT_TRUE(in.ReadInt(e));
    EXPECT_EQ(std::vector<int>({a, b, c, d, e}), std::vector<int>({1, 5, 8, 9, 31}));
    EXPECT_EQ(r, -25);
    // At the end of the file a number reads as 0, as text-file reads do.
    int z = 7;
    EXPECT_TRUE(in.ReadInt(z));
    EXPECT_EQ(z, 0);
    EXPECT_FALSE(in.Failed());
}

TEST(CfgReader, MalformedNumberIsATypedErrorWithFileAndLine) {
    struct Case {
        std::string text;
        bool real;
        int line;
        std::string what;
    } cases[] = {
        {";c\n745t 1x 5\n", false, 2, "неверное число \"1x\""},
        {";c\n\n745t 1\n 5\n787x 2\n", false, 5, "неверное число \"787x\""},
        {"745t 1,5\n", true, 1, "неверное число \"1,5\""},
        {"745t 2.5\n", false, 1, "неверное число \"2.5\""},
    };
    for (const Case& c : cases) {
        CfgReader in;
        in.SetText(c.text, "tp745t.cfg");
        in.ReadWord();
        bool ok = true;
        for (int i = 0; i < 3 && ok; ++i) {
            int v = 0;
            double r = 0;
            ok = c.real ? in.ReadReal(r) : in.ReadInt(v);
        }
        EXPECT_FALSE(ok) << c.text;
        EXPECT_TRUE(in.Failed());
        EXPECT_EQ(in.Error().file, "tp745t.cfg");
        EXPECT_EQ(in.Error().line, c.line) << c.text;
        EXPECT_EQ(in.Error().what, c.what);
    }
    CfgError e{"tp745t.cfg", 3, "неверное число \"1x\""};
    EXPECT_EQ(e.message(), "tp745t.cfg, строка 3: неверное число \"1x\"");
}

TEST(CfgReader, OpenReadsWindows1251) {
    auto path = std::filesystem::temp_directory_path() /
                ("yukt-cfg-" + std::to_string(::getpid()) + ".cfg");
    CfgReader in;
    EXPECT_FALSE(in.Open(path.string()));
    EXPECT_EQ(in.ReadWord(), "");
    ASSERT_TRUE(WriteTextFile(path.string(), ";Модуль\nмодуль 1\n"));
    ASSERT_TRUE(in.Open(path.string()));
    EXPECT_EQ(in.FileName(), path.filename().string());
    EXPECT_EQ(in.ReadWord(), "модуль");
    EXPECT_EQ(in.LineNumber(), 2);
    EXPECT_EQ(in.ReadRestOfLine(), " 1");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace yukt
