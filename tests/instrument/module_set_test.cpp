#include "instrument/module_set.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "common/fatal.h"
#include "instrument/model_tables.h"
#include "set_bench.h"

namespace yukt {
namespace {

using testing_set::SetBench;

struct FatalStop : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ModuleSetTest : public SetBench {
  protected:
    void SetUp() override {
        SetBench::SetUp();
        SetFatalHandler([](const std::string& reason) { throw FatalStop(reason); });
    }
    void TearDown() override {
        set.CloseModuleSet();
        SetFatalHandler(nullptr);
        SetBench::TearDown();
    }

    // The reason the opening stopped the program with, or "" when it did not.
    std::string openStops() {
        set.SetPathCfg(dir);
        try {
            set.OpenModuleSet();
        } catch (const FatalStop& stop) {
            return stop.what();
        }
        return "";
    }

    ModuleSet set;
};

TEST_F(ModuleSetTest, OpensLinksAndModulesFromTheDirectory) {
    EXPECT_EQ(openStops(), "");
    EXPECT_TRUE(set.LinksReady());
    ASSERT_NE(set.Context().Links.Entry(1), nullptr);
    EXPECT_TRUE(set.Context().Links.Entry(1)->IsOpen());
    EXPECT_EQ(set.Tables().t787x.ModuleCount(), 1);
    EXPECT_TRUE(set.Tables().t787x.Module(1)->Present());
    EXPECT_TRUE(set.Tables().t788t.Module(1)->Present());
    EXPECT_TRUE(set.Tables().t745t.Module(1)->Present());
    EXPECT_TRUE(set.AnyReplyModule());

    // Opening again rebuilds the set instead of leaving the port held.
    EXPECT_EQ(openStops(), "");
    EXPECT_TRUE(set.Tables().t787x.Module(1)->Present());
    EXPECT_EQ(set.Tables().t787x.ModuleCount(), 1);

    set.CloseModuleSet();
    EXPECT_FALSE(set.HoldsObjects());
    EXPECT_EQ(set.Context().Links.Entry(1), nullptr);
}

TEST_F(ModuleSetTest, WithoutBoardFileNothingStarts) {
    std::filesystem::remove(dir + "tp6606.cfg");
    EXPECT_EQ(openStops(), "");
    EXPECT_FALSE(set.LinksReady());
    EXPECT_EQ(set.Tables().t787x.ModuleCount(), 0);
    // Outside the sample directories a missing file stays missing.
    EXPECT_FALSE(std::filesystem::exists(dir + "tp6606.cfg"));
}

TEST_F(ModuleSetTest, FatalConfigurationErrorsNameFileAndLine) {
    struct Case {
        const char* file;
        const char* text;
        const char* mentions;
    };
    const Case cases[] = {
        {"tp745t.cfg", ";\n745t 1 1 23 4 9x.5 91.85776 2 2500.0\n", "tp745t.cfg, строка 2"},
        {"tp787x.cfg", "787x 1 1 2z3 1  4  6\n", "tp787x.cfg, строка 1"},
        {"tp6606.cfg", "$300 7 10994000 4800\n", "tp6606.cfg"},
        {"tpCom.cfg", "x1 9600\n", "tpCom.cfg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        writeDefaultConfig();
        writeFile(c.file, c.text);
        const std::string reason = openStops();
        EXPECT_NE(reason.find(c.mentions), std::string::npos) << reason;
        set.CloseModuleSet();
    }
}

// Whatever stands in a configuration file's place, opening stops with the
// file and the reason, never by an exception or by hanging on a FIFO.
TEST_F(ModuleSetTest, FilesThatCannotBeReadAreNamedWithTheReason) {
    namespace fs = std::filesystem;
    struct Kind {
        const char* what;
        std::function<void(const std::string&)> make;
        std::string reason;
    };
    const std::string longLine = "745t 1 1 23 4 " + std::string(70'000, '9') + "\n";
    const Kind kinds[] = {
        {"directory", [](const std::string& p) { fs::create_directory(p); }, ": это каталог"},
        {"device", [](const std::string& p) { fs::create_symlink("/dev/zero", p); },
         ": это устройство"},
        {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         ": это именованный канал (FIFO)"},
        {"long line",
         [&](const std::string& p) { ASSERT_TRUE(WriteTextFile(p, ";\n;\n" + longLine)); },
         ", строка 3: строка длиннее 65536 байт"},
    };
    for (const char* name : {"tp6606.cfg", "tpCom.cfg", "tp745t.cfg"}) {
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(name) + " " + kind.what);
            writeDefaultConfig();
            fs::remove(dir + name);
            kind.make(dir + name);
            EXPECT_EQ(openStops(), dir + name + kind.reason);
            set.CloseModuleSet();
            fs::remove_all(dir + name);
        }
    }
}

// Files saved as UTF-8 (with or without the byte order mark) are read as
// such; a malformed token is echoed short and escaped.
TEST_F(ModuleSetTest, Utf8FilesAreReadAndTokensEchoedShort) {
    writeDefaultConfig();
    std::ofstream(dir + "tpCom.cfg", std::ios::binary) << "\xEF\xBB\xBF 1    9600\n";
    std::ofstream(dir + "tp745t.cfg", std::ios::binary)
        << ";Настройка модулей\n745t 1 1 23 4 91.85776 91.85776 2 2500.0\n";
    EXPECT_EQ(openStops(), "");
    EXPECT_TRUE(set.Tables().t745t.Module(1)->Present());
    set.CloseModuleSet();

    std::ofstream(dir + "tp745t.cfg", std::ios::binary)
        << "745t 1 1 23 4 \x01" << std::string(60'000, '7') << "\n";
    EXPECT_EQ(openStops(),
              "tp745t.cfg, строка 1: неверное число \"\\x01" + std::string(39, '7') + "…\"");
}

TEST_F(ModuleSetTest, SampleDirectoryGetsCommentedDefaults) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::filesystem::create_directory("smplcfg");
    for (const char* spelling : {"./smplcfg/", ".\\smplcfg\\"}) {
        SCOPED_TRACE(spelling);
        set.SetPathCfg(spelling);
        EXPECT_TRUE(set.InSampleDir());
        set.OpenModuleSet();
        EXPECT_TRUE(set.LinksReady());
        EXPECT_EQ(set.Context().Links.Entry(1), nullptr);
        for (const char* name : {"tp6606.cfg", "tpCom.cfg", "tp745t.cfg", "tp788v.cfg"}) {
            std::string text;
            ASSERT_TRUE(ReadTextFile(std::string("smplcfg/") + name, text)) << name;
            EXPECT_FALSE(text.empty());
            std::size_t pos = 0;
            while (pos < text.size()) {
                EXPECT_EQ(text[pos], ';') << name;
                pos = text.find('\n', pos);
                if (pos == std::string::npos) break;
                ++pos;
            }
        }
        EXPECT_FALSE(set.HoldsObjects());
    }
    std::filesystem::current_path(before);

    for (const char* other : {"smplcfg", "./smplcfg", "./Smplcfg/", "/tmp/smplcfg/"}) {
        set.SetPathCfg(other);
        EXPECT_FALSE(set.InSampleDir()) << other;
    }
}

}  // namespace
}  // namespace yukt
