#include "common/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/cfg_reader.h"
#include "common/cp1251.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;

class TextFileTest : public testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("yukt-textfile-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    void writeRaw(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string raw(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
};

// Everything that is not a regular file is refused at once (a FIFO with no
// writer would block a plain open), with what it is.
TEST_F(TextFileTest, NonFilesAreRefusedWithTheirKind) {
    fs::create_directory(path("dir.cfg"));
    ASSERT_EQ(::mkfifo(path("fifo.cfg").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", path("zero.cfg"));
    struct Case {
        std::string path, reason;
        bool missing;
    } cases[] = {
        {path("dir.cfg"), "это каталог", false},
        {path("fifo.cfg"), "это именованный канал (FIFO)", false},
        {path("zero.cfg"), "это устройство", false},
        {"/dev/null", "это устройство", false},
        {path("none.cfg"), "файл не найден", true},
        {path("none/x.cfg"), "файл не найден", true},
    };
    for (const Case& c : cases) {
        std::string bytes = "old";
        FileFailure failure;
        EXPECT_FALSE(ReadRegularFile(c.path, bytes, failure)) << c.path;
        EXPECT_EQ(failure.reason, c.reason) << c.path;
        EXPECT_EQ(failure.missing, c.missing) << c.path;
        EXPECT_TRUE(bytes.empty());
        EXPECT_FALSE(WriteTextFile(c.path, "x") && !c.missing) << c.path;
    }
    const FileFailure dirFailure{false, 0, "это каталог"};
    EXPECT_EQ(dirFailure.MessageFor("/c/tp6606.cfg"), "/c/tp6606.cfg: это каталог");
}

TEST_F(TextFileTest, LongLineIsReportedByNumberAndNotKept) {
    writeRaw("long.cfg", "745t 1\n;\n" + std::string(kMaxTextLine, 'x') + "\n");
    std::string bytes;
    FileFailure failure;
    EXPECT_TRUE(ReadRegularFile(path("long.cfg"), bytes, failure));
    writeRaw("long.cfg", "745t 1\n;\n" + std::string(kMaxTextLine + 1, 'x') + "\n");
    EXPECT_FALSE(ReadRegularFile(path("long.cfg"), bytes, failure));
    EXPECT_EQ(failure.MessageFor("long.cfg"), "long.cfg, строка 3: строка длиннее 65536 байт");
    EXPECT_EQ(bytes.capacity() < 1024, true);
    writeRaw("big.cfg", std::string(100, '\n'));
    EXPECT_FALSE(ReadRegularFile(path("big.cfg"), bytes, failure, 99));
    EXPECT_EQ(failure.reason, "файл больше 0 КиБ");
}

TEST_F(TextFileTest, NoAccessIsNamed) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    writeRaw("locked.cfg", "745t 1");
    fs::permissions(path("locked.cfg"), fs::perms::none);
    CfgReader in;
    EXPECT_FALSE(in.Open(path("locked.cfg")));
    EXPECT_TRUE(in.Failed());
    EXPECT_EQ(in.Error().message(), path("locked.cfg") + ": нет доступа");
}

TEST(EchoToken, CutsAndEscapes) {
    struct Case {
        std::string token, shown;
    } cases[] = {
        {"1x", "1x"},
        {std::string(40, '7'), std::string(40, '7')},
        {std::string(41, '7'), std::string(40, '7') + "…"},
        {std::string(20'000'000, '9'), std::string(40, '9') + "…"},
        {"a\x01\x7F\tb\r\n", "a\\x01\\x7F\\tb\\r\\n"},
        {"\xEF\xBB\xBF"
         "1",
         "\xEF\xBB\xBF"
         "1"},
        {"\xCF\xEE", "\\xCF\\xEE"},  // Windows-1251 bytes are not UTF-8
        {"\xC0\x80", "\\xC0\\x80"},
    };
    for (const Case& c : cases) EXPECT_EQ(EchoToken(c.token), c.shown);
    // Characters are counted, not bytes.
    std::string cyrillic;
    for (int i = 0; i < 50; ++i) cyrillic += "ж";
    EXPECT_EQ(EchoToken(cyrillic), cyrillic.substr(0, 80) + "…");
}

// The whole file decides the encoding: bytes that happen to be valid UTF-8
// in one line do not make a Windows-1251 file UTF-8.
TEST_F(TextFileTest, EncodingIsDecidedOnTheWholeFile) {
    struct Case {
        std::string bytes;
        TextEncoding encoding;
        std::string text;
    } cases[] = {
        {"745t 1 1", TextEncoding::Cp1251, "745t 1 1"},
        {"\xEF\xBB\xBF"
         "1 4800",
         TextEncoding::Utf8Bom, "1 4800"},
        {";модулей\n745t 1", TextEncoding::Utf8, ";модулей\n745t 1"},
        // ";Рё" in Windows-1251 is the UTF-8 of ";и"; the next line is not.
        {";\xD0\xB8\n;\xCF\xEE\xE2\xE5\xF0\xEA\xE0", TextEncoding::Cp1251, ";Рё\n;Поверка"},
        {";\xED\xA0\x80", TextEncoding::Cp1251, ";н\u00A0Ђ"},  // a surrogate is not UTF-8
        {";\xC1\x81", TextEncoding::Cp1251, ";БЃ"},            // nor an overlong form
    };
    for (const Case& c : cases) {
        writeRaw("e.cfg", c.bytes);
        std::string text;
        FileFailure failure;
        TextEncoding encoding{};
        ASSERT_TRUE(ReadTextFile(path("e.cfg"), text, failure, &encoding));
        EXPECT_EQ(encoding, c.encoding) << c.text;
        EXPECT_EQ(text, c.text);
    }
}

// Rewriting or appending keeps a file's encoding; new files are Windows-1251.
TEST_F(TextFileTest, RewriteKeepsTheEncoding) {
    writeRaw("bom.cfg", "\xEF\xBB\xBF;Настройка\n");
    ASSERT_TRUE(WriteTextFile(path("bom.cfg"), ";Материал\n"));
    ASSERT_TRUE(AppendTextFile(path("bom.cfg"), "745t 1\n"));
    EXPECT_EQ(raw("bom.cfg"), "\xEF\xBB\xBF;Материал\n745t 1\n");

    writeRaw("utf8.cfg", ";Настройка\n");
    ASSERT_TRUE(AppendTextFile(path("utf8.cfg"), ";Ё\n"));
    EXPECT_EQ(raw("utf8.cfg"), ";Настройка\n;Ё\n");

    ASSERT_TRUE(WriteTextFile(path("new.cfg"), ";Ё\n"));
    EXPECT_EQ(raw("new.cfg"), ";\xA8\n");
}

}  // namespace
}  // namespace yukt
