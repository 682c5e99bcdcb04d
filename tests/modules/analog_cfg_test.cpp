// Reading the models' cfg files into driver tables: the common columns, the
// table limit, comments, sample-directory default files, malformed numbers,
// re-reading one module and the writers' handling of absent modules.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analog_test_util.h"
#include "modules/model_table.h"
#include "modules/tp745b.h"
#include "modules/tp745t.h"
#include "modules/tp745x.h"
#include "modules/tp746x.h"
#include "modules/tp747x.h"
#include "modules/tp748t.h"
#include "modules/tp748x.h"
#include "modules/tp787d.h"
#include "modules/tp787x.h"

namespace yukt {
namespace {

using test::CurrentDirGuard;
using test::ScratchDir;

TEST(AnalogCfg, CommonColumnsAndTheirLimits) {
    ScratchDir dir;
    dir.write("tp745x.cfg",
              ";comment line\n"
              "745x 1 5 21 3 100 1\n"
              "   \n"
              "745x 2 8 22 15 100 1\n"
              "\t; indented comment\n"
              "745x 3 9 24 0 100 1\n"
              "745x 4 20 23 14 100 1\r\n"
              "745x 5 12 1 7 100 1 and the rest of the line is skipped\n");
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();
    ModelTable<Tp745xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    ASSERT_EQ(table.ModuleCount(), 5);
    const struct {
        int number, com, port, line, link, addr;
    } expected[] = {
        {1, 5, 1, 1, 21, 3},   {2, 8, 1, 4, 22, 1},  // Адрес 15 is refused: stays 1
        {3, 9, 2, 1, 8, 1},  // Link 24 is refused: stays 8; Адрес 0 stays 1
        {4, 20, 4, 4, 23, 14}, {5, 12, 2, 4, 1, 7},
    };
    for (int i = 1; i <= 5; ++i) {
        const Ttp745x* m = table.Module(i);
        const auto& e = expected[i - 1];
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->Number(), e.number);
        EXPECT_EQ(m->Com(), e.com) << "module " << i;
        EXPECT_EQ(m->Port(), e.port) << "module " << i;
        EXPECT_EQ(m->Line(), e.line) << "module " << i;
        EXPECT_EQ(m->Link(), e.link) << "module " << i;
        EXPECT_EQ(m->Addr(), e.addr) << "module " << i;
        EXPECT_TRUE(m->Configured());
        EXPECT_FALSE(m->Present()) << "no link is open";
        EXPECT_EQ(m->Error(), kErrNoAnswer);
    }
    EXPECT_EQ(table.Module(0), nullptr);
    EXPECT_EQ(table.Module(6), nullptr);
}

TEST(AnalogCfg, ComPortColumnFindsItsLinkEntry) {
    ScratchDir dir;
    dir.write("tp748x.cfg", "748x 1 3 23 5 2500 100 100 100\n748x 2 4 23 5 2500 100 100 100\n");
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();
    ctx.Links.Create(1);                 // a board
    ctx.Links.Create(2).SetComIndex(2);  // COM3
    ModelTable<Tp748xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    EXPECT_EQ(table.Module(1)->Port(), 2);
    EXPECT_EQ(table.Module(1)->Line(), 1);
    EXPECT_EQ(table.Module(2)->Port(), 1) << "no COM4 entry: the first entry";
}

TEST(AnalogCfg, OwnColumnsReachTheDriver) {
    ScratchDir dir;
    dir.write("tp745t.cfg", "745t 1 1 23 4  100 99.5 2 2400\n");
    dir.write("tp748t.cfg", "748t 1 5 23 11 99.9 100.1\n");
    dir.write("tp745b.cfg", "745b 1 5 8 12 99.1 99.2 99.3 4.9 6\n");
    dir.write("tp787x.cfg", "787x 1 1 23 1  4  6\n");
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();

    ModelTable<Tp745tTraits> t745t(ctx);
    ASSERT_EQ(t745t.LoadCfg(), 0);
    const Ttp745t& m = *t745t.Module(1);
    EXPECT_EQ(m.RShunt(), 100);
    EXPECT_EQ(m.RRef(), 99.5);
    EXPECT_EQ(m.Material(), 1);
    EXPECT_EQ(m.URef(), 2400);

    ModelTable<Tp748tTraits> t748t(ctx);
    ASSERT_EQ(t748t.LoadCfg(), 0);
    for (int k = 1; k <= 16; ++k)
        EXPECT_EQ(t748t.Module(1)->Shunt(k), k <= 8 ? 99.9 : 100.1) << "channel " << k;

    ModelTable<Tp745bTraits> t745b(ctx);
    ASSERT_EQ(t745b.LoadCfg(), 0);
    EXPECT_EQ(t745b.Module(1)->RRefGroup(2), 99.2);
    EXPECT_EQ(t745b.Module(1)->RRefGroup(4), 100.0) << "4.9 Ω is refused";
    EXPECT_EQ(t745b.Module(1)->Material(), 5);

    ModelTable<Tp787xTraits> t787x(ctx);
    ASSERT_EQ(t787x.LoadCfg(), 0);
    EXPECT_EQ(t787x.Module(1)->Mode(), 5);
    EXPECT_EQ(t787x.Module(1)->CfgSetPoint(), 4);
    EXPECT_EQ(t787x.Module(1)->SetPoint(), 0) << "an absent generator is not driven";
}

TEST(AnalogCfg, TheTableHoldsAtMost224Modules) {
    ScratchDir dir;
    std::string text;
    for (int n = 1; n <= 230; ++n) text += "747x " + std::to_string(n) + " 5 21 7 2500.0\n";
    dir.write("tp747x.cfg", text);
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();
    ModelTable<Tp747xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    EXPECT_EQ(table.ModuleCount(), 224);
    EXPECT_EQ(table.Module(224)->Number(), 224);
}

TEST(AnalogCfg, CommentsOnlyOrCtrlZCreateNoModule) {
    const char* texts[] = {
        "",
        "; 745x    1    5    8   12   99.998   1\n",
        "   ;745x 1 5 8 12 99.998 1\n\n\n",
        "\x1a"
        "745x 1 5 8 12 99.998 1\n",
    };
    for (const char* text : texts) {
        ScratchDir dir;
        dir.write("tp745x.cfg", text);
        ModuleContext ctx;
        ctx.PathCfg = dir.dir();
        ModelTable<Tp745xTraits> table(ctx);
        EXPECT_EQ(table.LoadCfg(), 0);
        EXPECT_EQ(table.ModuleCount(), 0) << text;
    }
}

// The default file of every model: its lines, in Windows-1251, each ended by
// a line end; no data line, so reading it back creates no module.
template <class Traits>
void expectDefaultFileInSampleDir() {
    ScratchDir dir;
    CurrentDirGuard cwd(dir.dir());
    std::filesystem::create_directory("smplcfg");
    const std::string name = "tp" + std::string(Traits::kCode) + ".cfg";
    for (const char* sample : {"smplcfg/", "./smplcfg/"}) {
        std::filesystem::remove(dir.file("smplcfg/" + name));
        ModuleContext ctx;
        ctx.PathCfg = sample;
        ModelTable<Traits> table(ctx);
        ASSERT_EQ(table.LoadCfg(), 0);
        EXPECT_EQ(table.ModuleCount(), 0) << name;
        std::string expected;
        for (std::string_view line : Traits::kDefaultCfg) expected += std::string(line) + "\n";
        EXPECT_EQ(dir.read("smplcfg/" + name), expected) << name;
        std::ifstream raw(dir.file("smplcfg/" + name), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(raw), {}};
        EXPECT_EQ(bytes, Utf8ToCp1251(expected)) << name << " is stored in Windows-1251";
    }
    // Anywhere else a missing file stays missing.
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();
    ModelTable<Traits> table(ctx);
    EXPECT_EQ(table.LoadCfg(), 0);
    EXPECT_FALSE(dir.exists(name));
}

TEST(AnalogCfg, DefaultFilesOnlyInTheSampleDirectory) {
    expectDefaultFileInSampleDir<Tp745tTraits>();
    expectDefaultFileInSampleDir<Tp745xTraits>();
    expectDefaultFileInSampleDir<Tp745bTraits>();
    expectDefaultFileInSampleDir<Tp746xTraits>();
    expectDefaultFileInSampleDir<Tp747xTraits>();
    expectDefaultFileInSampleDir<Tp748xTraits>();
    expectDefaultFileInSampleDir<Tp748tTraits>();
    expectDefaultFileInSampleDir<Tp787xTraits>();
    expectDefaultFileInSampleDir<Tp787dTraits>();
}

TEST(AnalogCfg, MalformedNumberNamesFileAndLineAndKeepsModulesRead) {
    const struct {
        const char* text;
        int line;
        int modules;
    } cases[] = {
        {"745t 1 5 23 4 100 100 1 2500\n745t 2 5 23 x4 100 100 1 2500\n", 2, 1},
        {";head\n745t 1 5 23 4 100 100 1 2500\n\n745t 2 5 23 4 100 1O0 1 2500\n", 4, 1},
        {"745t 1 5 23 4 100,5 100 1 2500\n", 1, 0},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        dir.write("tp745t.cfg", c.text);
        ModuleContext ctx;
        ctx.PathCfg = dir.dir();
        ModelTable<Tp745tTraits> table(ctx);
        CfgError error;
        EXPECT_EQ(table.LoadCfg(&error), -1) << c.text;
        EXPECT_EQ(error.file, "tp745t.cfg");
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.message().find("tp745t.cfg"), std::string::npos);
        ASSERT_EQ(table.ModuleCount(), c.modules) << c.text;
        if (c.modules > 0) {
            EXPECT_EQ(table.Module(1)->Number(), 1);
        }
        // The file is closed again: it can be replaced at once.
        EXPECT_TRUE(std::filesystem::remove(dir.file("tp745t.cfg")));
    }
}

TEST(AnalogCfg, ReloadOfAnAbsentModuleReappliesButKeepsErr4) {
    ScratchDir dir;
    dir.write("tp746x.cfg", "746x 1 5 21 5 100 2 2500\n746x 2 5 21 6 100 2 2500\n");
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();
    ModelTable<Tp746xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    dir.write("tp746x.cfg", "746x 1 5 21 5 100 2 2500\n746x 2 9 22 9 120 3 2000\n");
    EXPECT_EQ(table.ReloadModule(2), -1) << "absent modules stay absent";
    const Ttp746x& m = *table.Module(2);
    EXPECT_EQ(m.Addr(), 9);
    EXPECT_EQ(m.Link(), 22);
    EXPECT_EQ(m.Port(), 2);
    EXPECT_EQ(m.RRef(), 120);
    EXPECT_EQ(m.Material(), 2);
    EXPECT_EQ(m.URef(), 2000);
    EXPECT_EQ(m.Error(), kErrNoAnswer);
    EXPECT_EQ(table.ReloadModule(3), -1) << "no such number";

    dir.write("tp745b.cfg", "745b 1 5 8 12 99 99 99 99 1\n");
    ModelTable<Tp745bTraits> t745b(ctx);
    ASSERT_EQ(t745b.LoadCfg(), 0);
    dir.write("tp745b.cfg", "745b 1 5 8 3 99 99 99 99 1\n");
    EXPECT_EQ(t745b.ReloadModule(1), -1) << "745b changes its settings only through LoadCfg";
    EXPECT_EQ(t745b.Module(1)->Addr(), 12);
}

TEST(AnalogCfg, WritersReportAbsentModules) {
    ScratchDir dir;
    dir.write("tp745t.cfg",
              "745t 1 5 21 4 100 100 1 2500\n745t 2 5 22 4 100 100 1 2500\n"
              "745t 3 5 23 4 100 100 1 2500\n745t 4 5 8 4 100 100 1 2500\n");
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();
    ctx.DataDir = dir.dir();
    std::vector<std::string> replies;
    ctx.PublishReply = [&](const std::string& line) { replies.push_back(line); };
    ModelTable<Tp745tTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);

    table.WriteDat();
    EXPECT_EQ(dir.read("tp745t.dat"),
              "\n;Модуль Номер    Tx       Rx       Ret100     Ix      Rsnt10      \n"
              " 745t     1  Err 4\n");
    table.WriteConsole();
    EXPECT_EQ(ctx.Console.lastLine(), " 745t      2      Err 4  \"Нет модуля на линии\"");
    table.WriteReply();
    EXPECT_EQ(replies, std::vector<std::string>{"745t 3 Err 4"});
    EXPECT_EQ(table.LineFor(*table.Module(4), Route::Link), " 745t     4  Err 4");
}

TEST(AnalogCfg, DataFileUntouchedWithoutDataFileModules) {
    ScratchDir dir;
    dir.write("tp748x.cfg", "748x 1 5 23 11 2500 100 100 100\n");
    dir.write("tp748x.dat", "previous cycle\n");
    ModuleContext ctx;
    ctx.PathCfg = dir.dir();
    ctx.DataDir = dir.dir();
    ModelTable<Tp748xTraits> table(ctx);
    ASSERT_EQ(table.LoadCfg(), 0);
    table.WriteDat();
    EXPECT_EQ(dir.read("tp748x.dat"), "previous cycle\n");
    table.WriteConsole();
    EXPECT_TRUE(ctx.Console.lines().empty());
}

}  // namespace
}  // namespace yukt
