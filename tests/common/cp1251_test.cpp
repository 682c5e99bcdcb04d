#include "common/cp1251.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace yukt {
namespace {

std::string rawFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Cp1251, Conversions) {
    struct Case {
        std::string utf8, cp1251;
    } cases[] = {
        {"abc 123", "abc 123"},
        {"Поверка", "\xCF\xEE\xE2\xE5\xF0\xEA\xE0"},
        {"ЁёЇїІіЄєЎў", "\xA8\xB8\xAF\xBF\xB2\xB3\xAA\xBA\xA1\xA2"},
        {"№«»—–€", "\xB9\xAB\xBB\x97\x96\x88"},
        {"Я я", "\xDF\x20\xFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToCp1251(c.utf8), c.cp1251) << c.utf8;
        EXPECT_EQ(Cp1251ToUtf8(c.cp1251), c.utf8) << c.utf8;
    }
    // Characters the code page lacks, and broken UTF-8, become "?".
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"
                           "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp1251("a\xC3"), "a?");
}

TEST(Cp1251, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(Cp1251, CharCountAndPrefix) {
    EXPECT_EQ(CharCount("Обрыв 3"), 7u);
    EXPECT_EQ(CharPrefix("Обрыв 3", 3), "Обр");
    EXPECT_EQ(CharPrefix("ab", 5), "ab");
}

TEST(Cp1251, TextFilesAreWindows1251OnDisk) {
    auto dir =
        std::filesystem::temp_directory_path() / ("yukt-cp1251-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "t.cfg").string();

    EXPECT_FALSE(FileExists(path));
    std::string text;
    EXPECT_FALSE(ReadTextFile(path, text));

    ASSERT_TRUE(WriteTextFile(path, ";Настройка\n"));
    ASSERT_TRUE(AppendTextFile(path, "745t 1"));
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(dir.string()));
    EXPECT_EQ(rawFile(path), ";\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0\n745t 1");
    ASSERT_TRUE(ReadTextFile(path, text));
    EXPECT_EQ(text, ";Настройка\n745t 1");

    ASSERT_TRUE(WriteTextFile(path, "x"));
    EXPECT_EQ(rawFile(path), "x");
    EXPECT_FALSE(WriteTextFile((dir / "missing" / "t.cfg").string(), "x"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace yukt
