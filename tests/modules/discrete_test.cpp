// 765x ports and the 795b displays: encodings, cfg columns, start-up and
// result lines, against the simulated modules through the real link code.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analog_test_util.h"
#include "freq_bench.h"
#include "modules/tp765x.h"
#include "modules/tp795b.h"
#include "sim/bench.h"

namespace yukt::freqtest {
namespace {

TEST(DisplayEncoding, PackedDecimalOfOneDecimal) {
    struct Case {
        double value;
        std::uint8_t intPart, fraction;
    };
    const Case cases[] = {
        {12.3, 0x12, 0x30},  {5, 0x05, 0x00},      {99.9, 0x99, 0x90},
        {123.4, 0x23, 0x40}, {0, 0x00, 0x00},      {0.05, 0x00, 0x10},
        {7.25, 0x07, 0x20},  {1234.5, 0x34, 0x50}, {static_cast<float>(12.3), 0x12, 0x30},
    };
    for (const Case& c : cases) {
        std::uint8_t i = 0xAA, f = 0xAA;
        ASSERT_TRUE(Ttp76xx::EncodeDisplayValue(c.value, i, f)) << c.value;
        EXPECT_EQ(i, c.intPart) << c.value;
        EXPECT_EQ(f, c.fraction) << c.value;
    }
}

TEST(DisplayEncoding, ValuesWithoutDecimalFormAreRefused) {
    for (double v : {-0.1, -5.0, -123.4, double(INFINITY), double(NAN)}) {
        std::uint8_t i = 0, f = 0;
        EXPECT_FALSE(Ttp76xx::EncodeDisplayValue(v, i, f)) << v;
    }
}

TEST(PortCfgText, HexDigitsAfterTheDollar) {
    struct Case {
        const char* text;
        std::uint8_t value;
    };
    const Case cases[] = {
        {"FF", 0xFF},  {"0f", 0x0F}, {"F0", 0xF0}, {"00", 0x00},
        {"1FF", 0xFF}, {"7", 0x07},  {"", 0x00},   {"12345", 0x34},  // only four characters count
        {"G", 16},  // a non-digit is a letter digit
    };
    for (const Case& c : cases) EXPECT_EQ(PortFromCfgText(c.text), c.value) << c.text;
}

constexpr int kAddr = 6;

class DiscreteBench : public FreqBench {
  protected:
    ModelTable<Tp765xTraits> t765x{ctx};
    ModelTable<Tp795bTraits> t795b{ctx};
};

TEST_F(DiscreteBench, ConfiguredPortsAreDrivenAtOnceAndReadBack) {
    RecordingModule& dev = place("765x", kAddr);
    writeCfg("765x", "765x 1 1 23 6 $0F $F0 $00 $FF\n765x 2 1 21 9 $01 $02 $03 $04\n");
    ASSERT_EQ(t765x.LoadCfg(), 0);
    ASSERT_EQ(t765x.ModuleCount(), 2);
    ASSERT_EQ(dev.requests.size(), 1u);
    EXPECT_EQ(dev.requests[0].command, 1);
    EXPECT_EQ(dev.requests[0].data, (std::vector<std::uint8_t>{0x0F, 0xF0, 0x00, 0xFF}));

    Ttp765x& m = *t765x.Module(1);
    Ttp765x& absent = *t765x.Module(2);
    EXPECT_TRUE(m.Present());
    EXPECT_FALSE(absent.Present());
    EXPECT_EQ(absent.Error(), kErrNoAnswer);

    struct Case {
        Route route;
        std::string present, missing;
    };
    const Case cases[] = {
        {Route::Reply, "765x 1 $0F $F0 $00 $FF", "765x 2 Err 4"},
        {Route::Link, " 765x     1   $0F  $F0  $00  $FF", " 765x     2    Err 4"},
        {Route::Dat, " 765x     1    $0F  $F0  $00  $FF", " 765x     2   Err 4"},
        {Route::Console, " 765x     1    $0F  $F0  $00  $FF", " 765x     2   Err 4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(t765x.LineFor(m, c.route), c.present);
        EXPECT_EQ(t765x.LineFor(absent, c.route), c.missing);
    }
    // Every present line read the ports first.
    EXPECT_EQ(dev.requests.size(), 5u);
    EXPECT_EQ(dev.requests.back().command, 2);
    EXPECT_TRUE(dev.requests.back().data.empty());
}

TEST_F(DiscreteBench, FailedPortReadShowsErr5UntilTheNextGoodOne) {
    place("765x", kAddr);
    writeCfg("765x", "765x 3 1 23 6 $0F $F0 $00 $FF\n");
    ASSERT_EQ(t765x.LoadCfg(), 0);
    Ttp765x& m = *t765x.Module(1);
    bench.injectFault({sim::FaultKind::Silence, kAddr, 0, 1});
    EXPECT_EQ(t765x.LineFor(m, Route::Reply), "765x 3 Err 5");
    bench.injectFault({sim::FaultKind::Refuse, kAddr, 0, 1});
    EXPECT_EQ(t765x.LineFor(m, Route::Link), " 765x     3    Err 5");
    bench.injectFault({sim::FaultKind::TornFrame, kAddr, 0, 1, 9});
    EXPECT_EQ(t765x.LineFor(m, Route::Dat), " 765x     3   Err 5");
    EXPECT_EQ(t765x.LineFor(m, Route::Reply), "765x 3 $0F $F0 $00 $FF");
    EXPECT_EQ(m.Error(), kErrOk);
}

TEST_F(DiscreteBench, SetCommandDrivesTheFirstPresentModule) {
    RecordingModule& dev = place("765x", kAddr);
    writeCfg("765x", "765x 4 1 23 6 $FF $FF $FF $FF\n");
    ASSERT_EQ(t765x.LoadCfg(), 0);
    dev.requests.clear();
    EXPECT_EQ(SetModule(t765x, 4, {0x12, 0x34, 0x56, 0x78}), 0);
    ASSERT_EQ(dev.requests.size(), 1u);
    EXPECT_EQ(dev.requests[0].data, (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(t765x.LineFor(*t765x.Module(1), Route::Reply), "765x 4 $12 $34 $56 $78");
    EXPECT_EQ(SetModule(t765x, 5, {0, 0, 0, 0}), -1);
    EXPECT_EQ(dev.requests.size(), 2u);  // only the read of the line above
}

TEST_F(DiscreteBench, MalformedPortColumnsAreReportedWithTheLine) {
    place("765x", kAddr);
    struct Case {
        std::string cfg;
        int line;
    };
    const Case cases[] = {
        {"765x 1 1 23 6 $0F $F0 $00\n765x 2 1 23 7 $01 $02 $03 $04\n", 1},
        {";comment\n765x 1 1 23 6 0F F0 00 FF\n", 2},
    };
    for (const Case& c : cases) {
        ModelTable<Tp765xTraits> table{ctx};
        writeCfg("765x", c.cfg);
        CfgError error;
        EXPECT_EQ(table.LoadCfg(&error), -1);
        EXPECT_EQ(table.ModuleCount(), 0);
        EXPECT_EQ(error.file, "tp765x.cfg");
        EXPECT_EQ(error.line, c.line);
    }
}

TEST_F(DiscreteBench, ConsoleStartsWithTheConfiguredValueOnEveryDisplay) {
    RecordingModule& dev = place("795b", 5);
    writeCfg("795b", "795b 1 1 23 5 99.9\n");
    ASSERT_EQ(t795b.LoadCfg(), 0);
    ASSERT_EQ(dev.requests.size(), 8u);
    for (int row = 1; row <= 8; ++row) {
        const Request& r = dev.requests[row - 1];
        EXPECT_EQ(r.command, 2);
        ASSERT_EQ(r.data.size(), 17u);
        EXPECT_EQ(r.data[0], row);
        for (int p = 0; p < 8; ++p) {
            EXPECT_EQ(r.data[1 + 2 * p], 0x99);
            EXPECT_EQ(r.data[2 + 2 * p], 0x90);
        }
    }
    Ttp795b& m = *t795b.Module(1);
    EXPECT_EQ(t795b.LineFor(m, Route::Reply), "795b 1 ");
    EXPECT_EQ(t795b.LineFor(m, Route::Link), " 795b     1   $FF  $FF  $FF  $FF");
    EXPECT_EQ(dev.requests.size(), 8u);  // the lines exchange nothing
}

TEST_F(DiscreteBench, DisplayRowOfEightValues) {
    RecordingModule& dev = place("795b", 5);
    writeCfg("795b", "795b 2 1 23 5 0\n");
    ASSERT_EQ(t795b.LoadCfg(), 0);
    dev.requests.clear();

    EXPECT_EQ(SetModule(t795b, 2, 3, {12.3, 5, 99.9, 123.4, 0, 1.5, 42, 7.7}), 0);
    ASSERT_EQ(dev.requests.size(), 1u);
    EXPECT_EQ(dev.requests[0].data,
              (std::vector<std::uint8_t>{3, 0x12, 0x30, 0x05, 0x00, 0x99, 0x90, 0x23, 0x40, 0x00,
                                         0x00, 0x01, 0x50, 0x42, 0x00, 0x07, 0x70}));

    // Nothing the displays cannot show goes out: a negative value, a row
    // outside 1..8, a module that is not there.
    EXPECT_EQ(SetModule(t795b, 2, 3, {1, 2, 3, -4, 5, 6, 7, 8}), -1);
    EXPECT_EQ(SetModule(t795b, 2, 9, {1, 2, 3, 4, 5, 6, 7, 8}), -1);
    EXPECT_EQ(SetModule(t795b, 2, 0, {1, 2, 3, 4, 5, 6, 7, 8}), -1);
    EXPECT_EQ(SetModule(t795b, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}), -1);
    EXPECT_EQ(dev.requests.size(), 1u);

    // A refused row is reported but leaves Error alone.
    bench.injectFault({sim::FaultKind::Silence, 5, 0, 1});
    EXPECT_EQ(SetModule(t795b, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8}), -1);
    EXPECT_EQ(t795b.Module(1)->Error(), kErrOk);
}

TEST_F(DiscreteBench, DefaultFilesAreWrittenOnlyInTheSampleDirectory) {
    test::CurrentDirGuard inScratch(ctx.DataDir);
    ctx.PathCfg = "smplcfg/";
    std::filesystem::create_directory("smplcfg");
    t765x.EnsureCfg();
    t795b.EnsureCfg();
    std::string text;
    ASSERT_TRUE(ReadTextFile("smplcfg/tp765x.cfg", text));
    EXPECT_EQ(text,
              ";Настройка модулей типа ЮКТ-765x\n"
              ";Ввод/вывод типа \"сухой контакт\"\n"
              ";Модуль  Номер  COM  Link  Адрес    P0   P1   P2   P3\n"
              "; 765x     1     5     8     6     $FF  $FF  $FF  $FF\n");
    ASSERT_TRUE(ReadTextFile("smplcfg/tp795b.cfg", text));
    EXPECT_EQ(text,
              ";Настройка модулей типа ЮКТ-795b\n"
              ";Пульт для \"Вельмарской ГЭС\n"
              ";Модуль  Номер  COM  Link  Адрес    Tx3\n"
              "; 795b     1     5    23     5     99.9\n");
    EXPECT_EQ(t765x.LoadCfg(), 0);
    EXPECT_EQ(t765x.ModuleCount(), 0);
}

}  // namespace
}  // namespace yukt::freqtest
