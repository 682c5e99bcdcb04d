#include "common/text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

namespace yukt {
namespace {

TEST(GetColumn, Cases) {
    struct Case {
        std::string line;
        int first, count;
        char sep;
        std::string want;
    } cases[] = {
        {"787x 1 1 23 1  4  6", 1, 1, ' ', "787x"},
        {"787x 1 1 23 1  4  6", 4, 1, ' ', "23"},
        {"787x 1 1 23 1  4  6", 5, 2, ' ', "1  4"},
        {"787x 1 1 23 1  4  6", 6, 5, ' ', "4  6"},
        {"787x 1 1 23 1  4  6", 8, 1, ' ', ""},
        {"   745t    2   5  ", 2, 1, ' ', "2"},
        {"   745t    2   5  ", 1, 3, ' ', "745t    2   5"},
        {"", 1, 1, ' ', ""},
        {";745t 1 5", 1, 1, ' ', ""},
        {"745t 1 5", 0, 1, ' ', ""},
        {"745t 1 5", 1, 0, ' ', ""},
        {"a, b ,c", 2, 1, ',', "b"},
        {"a,,b,c", 2, 2, ',', "b,c"},
        {"x\ty z", 1, 1, ' ', "x\ty"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetColumn(c.line, c.first, c.count, c.sep), c.want)
            << c.line << " first " << c.first << " count " << c.count;
    EXPECT_EQ(GetColumn("Get 735t 2", 2), "735t");
}

TEST(SetColumn, Cases) {
    struct Case {
        std::string line;
        int column;
        std::string text, want;
    } cases[] = {
        {"787x 1 1 23 1  4  6", 3, "2", "787x 1 2    23 1  4  6"},
        {"787x 1 1 23 1  4  6", 7, "9", "787x 1 1 23 1  4  9    "},
        {"787x 1 1 23 1  4  6", 1, "788t", "788t    1 1 23 1  4  6"},
        {"787x 1 1", 0, "x", "787x 1 1"},
        {"787x 1 1", 5, "x", "787x 1 1"},
        {";787x 1 1", 1, "x", ";787x 1 1"},
        {"", 1, "x", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(SetColumn(c.line, c.column, c.text), c.want) << c.line;
}

TEST(Separators, PointAndComma) {
    EXPECT_EQ(PointToComma("1.5 2.25"), "1,5 2,25");
    EXPECT_EQ(CommaToPoint("1,5 2,25"), "1.5 2.25");
}

TEST(HexToWord, Cases) {
    struct Case {
        std::string text;
        int want;
    } cases[] = {
        {"$300", 0x300},  {"300", 0x300}, {"  $$1f", 0x1F},
        {"ffff", 0xFFFF}, {"10000", 0},  // 16-bit result
        {"", 0},          {"G", 16},     // no check: 'G' counts as 71 - 55
    };
    for (const Case& c : cases) EXPECT_EQ(HexToWord(c.text), c.want) << c.text;
}

TEST(CalcErrors, Cases) {
    MeasureErrors e = CalcErrors(20, 12.1, 12);
    EXPECT_NEAR(e.abs, 0.1, 1e-12);
    EXPECT_NEAR(e.rel, 0.1 / 12 * 100, 1e-9);
    EXPECT_NEAR(e.red, 0.5, 1e-9);
    e = CalcErrors(0, 1, 0);
    EXPECT_EQ(e.abs, 1);
    EXPECT_EQ(e.rel, 101);
    EXPECT_EQ(e.red, 101);
}

TEST(MapLinear, Cases) {
    EXPECT_DOUBLE_EQ(MapLinear(4, 20, 12, 0, 100), 50);
    EXPECT_DOUBLE_EQ(MapLinear(0, 10, -5, 1, 3), 0);
}

TEST(Hex8, Cases) {
    EXPECT_EQ(Hex8(0), "$00000000");
    EXPECT_EQ(Hex8(0xDEADBEEF), "$DEADBEEF");
    EXPECT_EQ(Hex8(255), "$000000FF");
}

TEST(FixedStr, Cases) {
    struct Case {
        double v;
        int decimals;
        std::string want;
    } cases[] = {
        {0, 3, "0.000"},
        {12, 0, "12"},
        {1.5, 2, "1.50"},
        {0.125, 2, "0.13"},
        {2.675, 2, "2.68"},
        {-0.125, 2, "-0.13"},
        {-0.001, 2, "0.00"},
        {99.995, 2, "100.00"},
        {0.0049, 2, "0.00"},
        {123456.789, 1, "123456.8"},
        {1e-7, 9, "0.000000100"},
        // Beyond 15 significant digits only zeros are shown.
        {0.1234567890123456789, 18, "0.123456789012346000"},
    };
    for (const Case& c : cases) EXPECT_EQ(FixedStr(c.v, c.decimals), c.want) << c.v;
    EXPECT_EQ(FixedStr(3.25, 2, ','), "3,25");
}

TEST(FloatToStr, Cases) {
    struct Case {
        double v;
        std::string want;
    } cases[] = {
        {0, "0"},
        {12, "12"},
        {0.5, "0.5"},
        {-2.25, "-2.25"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},
        {1e20, "1E20"},
        {1.5e-6, "1.5E-6"},
        {0.00001, "0.00001"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {3498.1025, "3498.1025"},
    };
    for (const Case& c : cases) EXPECT_EQ(FloatToStr(c.v), c.want) << c.v;
    EXPECT_EQ(FloatToStr(1234.56, ','), "1234,56");
}

// A locale that writes "," as decimal point: the workstation's usual setting.
// Made in a temporary directory when the system has none installed.
bool useCommaLocale() {
    for (const char* name : {"ru_RU.UTF-8", "de_DE.UTF-8"})
        if (std::setlocale(LC_ALL, name)) return true;
    auto dir = std::filesystem::temp_directory_path() / "yukt-locale";
    std::filesystem::create_directories(dir);
    setenv("LOCPATH", dir.c_str(), 1);
    if (std::setlocale(LC_ALL, "ru_RU.UTF-8")) return true;
    std::string cmd =
        "localedef -i ru_RU -f UTF-8 " + (dir / "ru_RU.UTF-8").string() + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return false;
    return std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
}

TEST(Fmt, PointWhateverTheLocale) {
    if (!useCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma available";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale in use should write a comma";
    EXPECT_EQ(Fmt("%7.3f", 12.3456), " 12.346");
    EXPECT_EQ(Fmt("%9.5f|%d|%s", -1.5, 42, "x"), " -1.50000|42|x");
    double v = 0;
    EXPECT_TRUE(StrToFloatStrict("2.5", v));
    EXPECT_EQ(v, 2.5);
    EXPECT_EQ(FloatToStr(0.5), "0.5");
    std::setlocale(LC_ALL, "C");
}

TEST(Fmt, LongOutput) {
    std::string s = Fmt("%300d", 7);
    EXPECT_EQ(s.size(), 300u);
    EXPECT_EQ(s.back(), '7');
}

TEST(StrToIntStrict, Cases) {
    struct Case {
        std::string word;
        bool ok;
        int want;
    } cases[] = {
        {"12", true, 12},         {"-7", true, -7},
        {"+3", true, 3},          {"$1F", true, 31},
        {"$ff", true, 255},       {"-$10", true, -16},
        {"$FFFFFFFF", true, -1},  {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, {"-2147483648", true, INT32_MIN},
        {"", false, 0},           {"-", false, 0},
        {"$", false, 0},          {"1x", false, 0},
        {"1.5", false, 0},        {" 1", false, 0},
        {"0x10", false, 0},       {"$123456789", false, 0},
    };
    for (const Case& c : cases) {
        int v = 12345;
        EXPECT_EQ(StrToIntStrict(c.word, v), c.ok) << c.word;
        EXPECT_EQ(v, c.ok ? c.want : 12345) << c.word;
    }
}

TEST(StrToFloatStrict, Cases) {
    struct Case {
        std::string word;
        bool ok;
        double want;
    } cases[] = {
        {"0.5", true, 0.5}, {"-12", true, -12},   {"+1.25e2", true, 125}, {".5", true, 0.5},
        {"5.", true, 5},    {"1E-3", true, 1e-3}, {"1,5", false, 0},      {"", false, 0},
        {".", false, 0},    {"1e", false, 0},     {"inf", false, 0},      {"nan", false, 0},
        {"0x10", false, 0}, {" 1", false, 0},     {"1e999", false, 0},
    };
    for (const Case& c : cases) {
        double v = -99;
        EXPECT_EQ(StrToFloatStrict(c.word, v), c.ok) << c.word;
        if (c.ok)
            EXPECT_DOUBLE_EQ(v, c.want) << c.word;
        else
            EXPECT_EQ(v, -99) << c.word;
    }
}

}  // namespace
}  // namespace yukt
