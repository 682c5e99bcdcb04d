// Construction, settings and configuration files of the frequency drivers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cp1251.h"
#include "freq_bench.h"
#include "modules/tp735d.h"
#include "modules/tp735r.h"
#include "modules/tp735t.h"
#include "modules/tp735v.h"
#include "modules/tp735x.h"
#include "number_word.h"

namespace yukt::freqtest {
namespace {

TEST(Tp735Construction, DefaultsOfEachModel) {
    ModuleContext ctx;
    struct Expect {
        const char* model;
        double quartz;
        int out1, out2;
        std::string name;
    };
    Ttp735x x(ctx);
    Ttp735t t(ctx);
    Ttp735r r(ctx);
    Ttp735d d(ctx);
    Ttp735v v(ctx);
    const std::vector<std::pair<Ttp73Base*, Expect>> cases = {
        {&x,
         {"735x", 7374.2978, 1, 1,
          "Модуль измерение частоты,числа импульсов и времени между двумя событиями (ЮКТ-735x)"}},
        {&t, {"735t", 7374.76925, 1, 1, "Модуль измерение частоты по двум каналам (ЮКТ-735t)"}},
        {&r, {"735r", 7374.76925, 0, 0, "Модуль измерение частоты по двум каналам (ЮКТ-735r)"}},
        {&d, {"735d", 7374.76925, 1, 1, "Модуль измерение частоты по двум каналам (ЮКТ-735d)"}},
        {&v,
         {"735v", 7374.76925, 1, 1, "Виртуальный модуль для работы с FLASH-памятью (ЮКТ-735v)"}},
    };
    for (const auto& [m, e] : cases) {
        EXPECT_EQ(m->Name(), e.name) << e.model;
        EXPECT_DOUBLE_EQ(m->QuartzKHz(), e.quartz) << e.model;
        EXPECT_DOUBLE_EQ(m->TickUs(), 4000 / e.quartz) << e.model;
        EXPECT_EQ(m->Out1(), e.out1) << e.model;
        EXPECT_EQ(m->Out2(), e.out2) << e.model;
        EXPECT_EQ(m->Rele1(), 0) << e.model;
        EXPECT_EQ(m->Rele2(), 0) << e.model;
        EXPECT_EQ(m->MeasuredQuartzKHz(), 0) << e.model;
        // 35000 is above the base's limit and is refused; the low end is taken.
        EXPECT_EQ(m->RangeHigh(), 0) << e.model;
        EXPECT_EQ(m->RangeLow(), 1) << e.model;
        EXPECT_FALSE(m->Present()) << e.model;
    }
    EXPECT_EQ(x.EventOrder(), 2);
    EXPECT_EQ(t.Divider1(), 0);
    EXPECT_EQ(r.Divider2(), 0);
}

TEST(Tp735Construction, SettingLimits) {
    ModuleContext ctx;
    struct Case {
        const char* what;
        void (*apply)(Ttp735t&);
        int error;
        double quartz;
        int out1, rele2;
    };
    const std::vector<Case> cases = {
        {"quartz 1000", [](Ttp735t& m) { m.SetQuartz(1000); }, kErrOk, 1000, 1, 0},
        {"quartz 32000", [](Ttp735t& m) { m.SetQuartz(32000); }, kErrOk, 32000, 1, 0},
        {"quartz just below", [](Ttp735t& m) { m.SetQuartz(999.999); }, kErrParameter, 7374.76925,
         1, 0},
        {"quartz just above", [](Ttp735t& m) { m.SetQuartz(32000.001); }, kErrParameter, 7374.76925,
         1, 0},
        {"quartz 0", [](Ttp735t& m) { m.SetQuartz(0); }, kErrParameter, 7374.76925, 1, 0},
        {"out1 0", [](Ttp735t& m) { m.SetOut1(0); }, kErrOk, 7374.76925, 0, 0},
        {"out1 2", [](Ttp735t& m) { m.SetOut1(2); }, kErrParameter, 7374.76925, 1, 0},
        {"out1 -1", [](Ttp735t& m) { m.SetOut1(-1); }, kErrParameter, 7374.76925, 1, 0},
        {"rele2 1", [](Ttp735t& m) { m.SetRele2(1); }, kErrOk, 7374.76925, 1, 1},
        {"rele2 5", [](Ttp735t& m) { m.SetRele2(5); }, kErrParameter, 7374.76925, 1, 0},
    };
    for (const Case& c : cases) {
        Ttp735t m(ctx);
        m.SetError(kErrNoAnswer);
        c.apply(m);
        EXPECT_EQ(m.Error(), c.error) << c.what;
        EXPECT_DOUBLE_EQ(m.QuartzKHz(), c.quartz) << c.what;
        EXPECT_DOUBLE_EQ(m.TickUs(), 4000 / c.quartz) << c.what;
        EXPECT_EQ(m.Out1(), c.out1) << c.what;
        EXPECT_EQ(m.Rele2(), c.rele2) << c.what;
    }
    Ttp735t m(ctx);
    m.SetQuartz(32000);
    EXPECT_DOUBLE_EQ(m.TickUs(), 0.125);
    // Dividers are stored as given, without touching Error.
    m.SetError(kErrNoAnswer);
    m.SetDivider1(-7.25);
    EXPECT_EQ(m.Divider1(), -7.25);
    EXPECT_EQ(m.Error(), kErrNoAnswer);
}

template <class Traits>
class Tp735CfgFiles : public FreqBench {};

using Models =
    ::testing::Types<Tp735xTraits, Tp735tTraits, Tp735rTraits, Tp735dTraits, Tp735vTraits>;
TYPED_TEST_SUITE(Tp735CfgFiles, Models);

TYPED_TEST(Tp735CfgFiles, DefaultFileConfiguresNothing) {
    const std::string code(TypeParam::kCode);
    ModelTable<TypeParam> table{this->ctx};
    table.WriteDefaultCfg();
    std::string raw;
    {
        std::string utf8;
        ASSERT_TRUE(ReadTextFile(table.CfgPath(), utf8));
        raw = Utf8ToCp1251(utf8);
        EXPECT_EQ(utf8.substr(0, utf8.find('\n')), ";Настройка модулей типа ЮКТ-" + code);
        // Four commented lines, the last one a sample data line.
        std::vector<std::string> lines;
        for (std::size_t i = 0, e; i < utf8.size(); i = e + 1) {
            e = utf8.find('\n', i);
            lines.push_back(utf8.substr(i, e - i));
        }
        ASSERT_EQ(lines.size(), 4u);
        for (const std::string& l : lines) EXPECT_EQ(l[0], ';');
        EXPECT_EQ(words(lines[3].substr(1))[0], code);
    }
    EXPECT_EQ(table.LoadCfg(), 0);
    EXPECT_EQ(table.ModuleCount(), 0);
}

TYPED_TEST(Tp735CfgFiles, SampleLineConfiguresOneModule) {
    ModelTable<TypeParam> table{this->ctx};
    // The sample line uncommented, moved to COM 1 and Link 23; a second line
    // for a module that is not on the line.
    const std::string code(TypeParam::kCode);
    std::vector<std::string> w = words(std::string(TypeParam::kDefaultCfg[3]).substr(1));
    w[2] = "1";
    w[3] = "23";
    auto lineAt = [&](const std::string& addr) {
        w[4] = addr;
        std::string line;
        for (const std::string& x : w) line += x + " ";
        // 735d reads all seven columns of 735t although its sample shows one.
        if (code == "735d") line += "1 1 0 0 2.0 3.0";
        return line + "\n";
    };
    this->writeCfg(code, lineAt("3") + lineAt("9"));
    this->place(code, 3);
    ASSERT_EQ(table.LoadCfg(), 0);
    ASSERT_EQ(table.ModuleCount(), 2);
    EXPECT_TRUE(table.Module(1)->Present());
    EXPECT_FALSE(table.Module(2)->Present());
    EXPECT_EQ(table.Module(2)->Error(), kErrNoAnswer);
    EXPECT_TRUE(table.Module(1)->Configured());
    EXPECT_EQ(table.Module(1)->Link(), 23);
    EXPECT_NEAR(table.Module(1)->QuartzKHz(), NumberWord(w[5]), 1e-9);
    EXPECT_EQ(table.FirstPresent(1), table.Module(1));
    // Reloading re-applies the columns of the first line with that number.
    table.Module(1)->SetQuartz(2000);
    EXPECT_EQ(table.ReloadModule(1), 0);
    EXPECT_NEAR(table.Module(1)->QuartzKHz(), NumberWord(w[5]), 1e-9);
    EXPECT_EQ(table.ReloadModule(5), -1);
}

TEST_F(FreqBench, DataFileIsLeftAloneWithoutLink21Modules) {
    ModelTable<Tp735xTraits> table{ctx};
    writeCfg("735x", "735x 1 1 23 3 7374.2978 1 1 0 0\n");
    ASSERT_EQ(table.LoadCfg(), 0);
    table.WriteDat();
    EXPECT_FALSE(fileExists("tp735x.dat"));
}

}  // namespace
}  // namespace yukt::freqtest
