// Methodology files: every mistake names the file, the line and the key; the
// reference ratio is checked at every point; the plan a 748t gets.

#include "verify/methodology.h"

#include <gtest/gtest.h>

#include "common/sha256.h"
#include "verify/plan.h"

namespace yukt::verify {
namespace {

const char* const kGood = R"(id = "МП 001-2026"
revision = 2
title = "ЮКТ-748t"
models = ["748t"]
interval_months = 24
[tolerances.current]
kind = "reduced"
limit = 0.2
span = [0, 20]
resolution = 0.01
[tolerances.wide]
kind = "abs+rel"
limit = 0.02
factor = 0.001
resolution = 0.001
[settlings.current]
delay = 1
agree = 3
band = 0.005
timeout = 20
readings = 3
[reference]
min_ratio = 3
[reference.current]
kind = "abs"
limit = 0.004
[[operations]]
id = "7.1"
title = "Внешний осмотр"
kind = "inspection"
[[operations]]
id = "7.4"
title = "Погрешность измерения тока"
kind = "error"
quantity = "current"
channels = "1-16"
points = [4, 12, 20]
tolerance = "current"
settling = "current"
connection = "series"
[[operations.overrides]]
channels = "11"
points = [4, 20]
tolerance = "wide"
)";

std::string with(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(Methodology, GoodFileExpandsForA748t) {
    ProcedureError e;
    const auto m = ParseMethodology(kGood, "mp.toml", e);
    ASSERT_TRUE(m) << e.Text();
    EXPECT_EQ(m->sha256, Sha256Hex(kGood));
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::string error;
    const auto plan = Expand(*m, {"748t", 3, 0}, error);
    ASSERT_TRUE(plan) << error;
    // One inspection, 15 channels × 3 points and channel 11's own 2 points.
    ASSERT_EQ(plan->items.size(), 1u + 15 * 3 + 2);
    const PlanItem& first11 = plan->items[1 + 10 * 3];
    EXPECT_EQ(first11.channel, 11);
    EXPECT_EQ(first11.tolerance.name, "wide");
    EXPECT_DOUBLE_EQ(first11.refRatio, (0.02 + 0.004) / 0.004);
    EXPECT_DOUBLE_EQ(plan->items[1].refRatio, 0.04 / 0.004);
    EXPECT_EQ(plan->items.back().item, 48);

    const Plan one = FilterChannels(*plan, {11});
    ASSERT_EQ(one.items.size(), 3u);
    EXPECT_EQ(one.items[0].kind, OperationKind::Inspection);
    EXPECT_FALSE(Expand(*m, {"748x", 2, 0}, error));
    EXPECT_NE(error.find("не относится к модулю 748x"), std::string::npos) << error;
}

TEST(Methodology, EachMistakeNamesFileLineAndKey) {
    struct Case {
        std::string text;
        int line;
        const char* key;
    };
    const Case cases[] = {
        {with(kGood, "revision = 2", "revison = 2"), 2, "revison"},
        {with(kGood, "id = \"МП 001-2026\"\n", ""), 0, "id"},
        {with(kGood, "[\"748t\"]", "[\"749t\"]"), 4, "models"},
        {with(kGood, "kind = \"reduced\"", "kind = \"relative\""), 7, "tolerances.current.kind"},
        {with(kGood, "span = [0, 20]", "span = [20, 0]"), 9, "tolerances.current.span"},
        {with(kGood, "factor = 0.001\n", ""), 11, "tolerances.wide.factor"},
        {with(kGood, "resolution = 0.01", "resolution = 0"), 10, "tolerances.current.resolution"},
        {with(kGood, "band = 0.005", "band = -1"), 19, "settlings.current.band"},
        {with(kGood, "\"1-16\"", "\"1-17\""), 36, "operations[2].channels"},
        {with(kGood, "\"1-16\"", "\"1-x\""), 36, "operations[2].channels"},
        {with(kGood, "\"series\"", "\"parallel\""), 40, "operations[2].connection"},
        {with(kGood, "tolerance = \"current\"", "tolerance = \"tight\""), 38,
         "operations[2].tolerance"},
        {with(kGood, "settling = \"current\"", "settling = \"slow\""), 39, "operations[2].settling"},
        {with(kGood, "points = [4, 12, 20]", "points = [4, 12, 21]"), 37, "operations[2].points"},
        {with(kGood, "id = \"7.4\"", "id = \"7.1\""), 32, "operations[2].id"},
        {with(kGood, "kind = \"inspection\"", "kind = \"inspection\"\nquantity = \"current\""), 31,
         "operations[1].quantity"},
        {with(kGood, "[reference.current]", "[reference.frequency]"), 35, "operations[2].quantity"},
        {with(kGood, "channels = \"11\"", "channels = \"12-17\""), 42,
         "operations[2].overrides[1].channels"},
        {with(kGood, "title = \"ЮКТ-748t\"", "title = \"ЮКТ-748t"), 3, ""},
    };
    for (const Case& c : cases) {
        ProcedureError e;
        EXPECT_FALSE(ParseMethodology(c.text, "bad.toml", e)) << c.key;
        EXPECT_EQ(e.line, c.line) << e.Text();
        EXPECT_EQ(e.key, c.key) << e.Text();
        EXPECT_EQ(e.Text().rfind("bad.toml:", 0), 0u) << e.Text();
    }
}

// Values that would wrap, overflow or pass every error are refused as read,
// with the file, the line and the key; a path or key with control bytes is
// shown escaped.
TEST(Methodology, HostileValuesAreRefusedWithTheirLine) {
    struct Case {
        std::string text;
        int line;
        const char* key;
    };
    const Case cases[] = {
        {with(kGood, "span = [0, 20]", "span = [-1e308, 1e308]"), 9, "tolerances.current.span"},
        {with(kGood, "span = [0, 20]", "span = [0, inf]"), 9, "tolerances.current.span"},
        {with(kGood, "span = [0, 20]", "span = [nan, 20]"), 9, "tolerances.current.span"},
        {with(kGood, "limit = 0.2", "limit = inf"), 8, "tolerances.current.limit"},
        {with(kGood, "resolution = 0.01", "resolution = -0.01"), 10, "tolerances.current.resolution"},
        {with(kGood, "agree = 3", "agree = 4294967299"), 18, "settlings.current.agree"},
        {with(kGood, "readings = 3", "readings = 4294967298"), 21, "settlings.current.readings"},
        {with(kGood, "revision = 2", "revision = 4294967296"), 2, "revision"},
        {with(kGood, "revision = 2", "revision = -9223372036854775807"), 2, "revision"},
        {with(kGood, "interval_months = 24", "interval_months = 4294967320"), 5, "interval_months"},
        {with(kGood, "channels = \"1-16\"", "channels = 4294967297"), 36, "operations[2].channels"},
    };
    for (const Case& c : cases) {
        ProcedureError e;
        EXPECT_FALSE(ParseMethodology(c.text, "bad.toml", e)) << c.key;
        EXPECT_EQ(e.line, c.line) << e.Text();
        EXPECT_EQ(e.key, c.key) << e.Text();
        EXPECT_EQ(e.Text().rfind("bad.toml:", 0), 0u) << e.Text();
    }
    ProcedureError e;
    EXPECT_FALSE(ParseMethodology(with(kGood, "revision = 2", "revision = 2\n\"a\\u001b[2Jb\" = 1"),
                                  "dir\x1b]0;x\x07/bad\n.toml", e));
    EXPECT_EQ(e.Text().find('\x1b'), std::string::npos) << e.Text();
    EXPECT_EQ(e.Text().find('\n'), std::string::npos) << e.Text();
    EXPECT_NE(e.Text().find(":3: "), std::string::npos) << e.Text();
}

TEST(Methodology, ReferenceRatioIsCheckedAtEveryPoint) {
    // 0.2 % of 20 mA is 0.04 mA and channel 11 permits 0.024 mA at 4 mA:
    // 3 × 0.008 passes, 3 × 0.014 does not.
    ProcedureError e;
    EXPECT_TRUE(ParseMethodology(with(kGood, "limit = 0.004", "limit = 0.008"), "r.toml", e))
        << e.Text();
    EXPECT_FALSE(ParseMethodology(with(kGood, "limit = 0.004", "limit = 0.014"), "r.toml", e));
    EXPECT_EQ(e.key, "operations[2].tolerance");
    EXPECT_NE(e.message.find("канал 1, точка 4"), std::string::npos) << e.Text();
    // An abs+rel reference of 0.001 + 0.0005·x mA: the override's 0.005 +
    // 0.001·x holds at 4 mA (exactly 3×) but not at 20 mA.
    const std::string rel =
        with(with(kGood, "kind = \"abs\"\nlimit = 0.004", "kind = \"abs+rel\"\nlimit = 0.001\nfactor = 0.0005"),
             "limit = 0.02\nfactor", "limit = 0.005\nfactor");
    EXPECT_FALSE(ParseMethodology(rel, "r.toml", e));
    EXPECT_NE(e.message.find("канал 11, точка 20"), std::string::npos) << e.Text();
}

TEST(Methodology, ChannelLists) {
    EXPECT_EQ(ParseChannelList("1-4, 9"), (std::vector<int>{1, 2, 3, 4, 9}));
    EXPECT_EQ(ParseChannelList("1,3"), (std::vector<int>{1, 3}));
    for (const char* bad : {"", "3-1", "1,", "1;2", "a", "-2"})
        EXPECT_TRUE(ParseChannelList(bad).empty()) << bad;
}

}  // namespace
}  // namespace yukt::verify
