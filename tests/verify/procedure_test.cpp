// Procedure files: every mistake names the file, the line and the key, and
// every shipped procedure reads.

#include "verify/procedure.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "verify/plan.h"
#include "verify/procedure_library.h"

namespace yukt::verify {
namespace {

const char* const kGood = R"(title = "t"
doc = "МП 001-2026"
kinds = [1, 13]
channel = 0
quantity = "current"
points = [4, 12, 20]
both_directions = true
[error]
kind = "reduced"
limit = 0.2
range = 20
[settling]
delay = 1
agree = 3
band = 0.005
timeout = 20
readings = 3
)";

std::string with(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(Procedure, GoodFileReadsWithBothDirections) {
    ProcedureError e;
    const auto p = ParseProcedure(kGood, "good.toml", e);
    ASSERT_TRUE(p) << e.Text();
    EXPECT_EQ(p->points, (std::vector<double>{4, 12, 20, 12, 4}));
    EXPECT_EQ(p->errorKind, ErrorKind::Reduced);
    EXPECT_EQ(p->range, 20);
    EXPECT_EQ(p->kinds, (std::vector<int>{1, 13}));
}

TEST(Procedure, EachMistakeNamesFileLineAndKey) {
    struct Case {
        std::string text;
        int line;
        const char* key;
    };
    const Case cases[] = {
        {with(kGood, "channel = 0", "chanel = 0"), 4, "chanel"},
        {with(kGood, "timeout = 20", "timeout = 20\nwait = 1"), 17, "settling.wait"},
        {with(kGood, "doc = \"МП 001-2026\"\n", ""), 0, "doc"},
        {with(kGood, "limit = 0.2\n", ""), 8, "error.limit"},
        {with(kGood, "points = [4, 12, 20]", "points = [4, 12,\n 20.5]"), 7, "points"},
        {with(kGood, "points = [4, 12, 20]", "points = []"), 6, "points"},
        {with(kGood, "limit = 0.2", "limit = 0"), 10, "error.limit"},
        {with(kGood, "limit = 0.2", "limit = -1"), 10, "error.limit"},
        {with(kGood, "kind = \"reduced\"", "kind = \"relative\""), 9, "error.kind"},
        {with(kGood, "range = 20\n", ""), 8, "error.range"},
        {with(kGood, "kinds = [1, 13]", "kinds = [1, 4]"), 3, "kinds"},
        {with(kGood, "kinds = [1, 13]", "kinds = [6]"), 3, "kinds"},
        {with(kGood, "quantity = \"current\"", "quantity = \"voltage\""), 5, "quantity"},
        {with(kGood, "agree = 3", "agree = 0"), 14, "settling.agree"},
        {with(kGood, "readings = 3", "readings = 2.5"), 17, "settling.readings"},
        {with(kGood, "points = [4, 12, 20]", "points = [4, \"12\"]"), 6, "points"},
        {with(kGood, "[settling]", "[settling"), 12, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ProcedureError e;
        EXPECT_FALSE(ParseProcedure(c.text, "bad.toml", e));
        EXPECT_EQ(e.file, "bad.toml");
        EXPECT_EQ(e.line, c.line) << e.Text();
        if (*c.key) {
            EXPECT_EQ(e.key, c.key) << e.Text();
        }
        EXPECT_FALSE(e.message.empty());
    }
}

// Integers are checked as 64-bit values against their field's range: 2^32
// and more never wrap into a valid small number.
TEST(Procedure, WideIntegersAreRefusedWithTheirLine) {
    struct Case {
        std::string text;
        int line;
        const char* key;
    };
    const Case cases[] = {
        {with(kGood, "kinds = [1, 13]", "kinds = [4294967297]"), 3, "kinds"},
        {with(kGood, "kinds = [1, 13]", "kinds = [1, -4294967295]"), 3, "kinds"},
        {with(kGood, "channel = 0", "channel = 4294967296"), 4, "channel"},
        {with(kGood, "agree = 3", "agree = 4294967299"), 14, "settling.agree"},
        {with(kGood, "readings = 3", "readings = 9223372036854775807"), 17, "settling.readings"},
    };
    for (const Case& c : cases) {
        ProcedureError e;
        EXPECT_FALSE(ParseProcedure(c.text, "bad.toml", e)) << c.key;
        EXPECT_EQ(e.line, c.line) << e.Text();
        EXPECT_EQ(e.key, c.key) << e.Text();
    }
}

TEST(Procedure, PointsOutsideTheGeneratorsRangeAreRefused) {
    const std::string freq = with(with(kGood, "kinds = [1, 13]", "kinds = [6]"),
                                  "quantity = \"current\"", "quantity = \"frequency\"");
    const std::string rel = with(kGood, "kind = \"reduced\"", "kind = \"rel\"");
    const std::pair<std::string, bool> cases[] = {
        {with(freq, "[4, 12, 20]", "[35, 3500]"), true},
        {with(freq, "[4, 12, 20]", "[34.99]"), false},
        {with(freq, "[4, 12, 20]", "[3500.5]"), false},
        {with(kGood, "[4, 12, 20]", "[20.01]"), false},
        {with(kGood, "[4, 12, 20]", "[-1]"), false},
        {with(with(rel, "range = 20\n", ""), "[4, 12, 20]", "[0, 4]"), false},
    };
    for (const auto& [text, good] : cases) {
        ProcedureError e;
        EXPECT_EQ(static_cast<bool>(ParseProcedure(text, "p.toml", e)), good) << e.Text();
        if (!good) {
            EXPECT_EQ(e.key, "points");
        }
    }
}

TEST(Procedure, LoadRefusesWhatIsNoRegularFile) {
    ProcedureError e;
    EXPECT_FALSE(LoadProcedure("/dev/null", e));
    EXPECT_EQ(e.file, "/dev/null");
    EXPECT_FALSE(LoadProcedure("/nonexistent/p.toml", e));
}

TEST(Procedure, EveryShippedMethodologyReadsAndExpandsForItsModels) {
    std::set<std::string> models;
    for (const auto& entry : std::filesystem::directory_iterator(YUKT_METHODOLOGIES_DIR)) {
        ProcedureError e;
        const auto m = LoadMethodology(entry.path().string(), e);
        ASSERT_TRUE(m) << e.Text();
        for (const std::string& model : m->models) {
            std::string error;
            EXPECT_TRUE(Expand(*m, {model, 0, 0}, error)) << error;
            models.insert(model);
        }
    }
    EXPECT_EQ(models, (std::set<std::string>{"745t", "748x", "748t", "735t", "735x", "787x",
                                             "745t+745t", "745t+748x", "748x+748x"}));
}

TEST(Procedure, FirstUseCopiesTheShippedFilesAndKeepsTheLaboratorysEdits) {
    const std::string user = std::filesystem::temp_directory_path() /
                             ("yukt-proc-" + std::to_string(::getpid())) / "methodologies";
    std::string error;
    ASSERT_EQ(EnsureUserMethodologies(user, YUKT_METHODOLOGIES_DIR, error), user) << error;
    std::vector<ProcedureError> mistakes;
    ASSERT_EQ(MethodologiesFor(user, "745t+748x", mistakes).size(), 1u);
    // The page's item 2 of a 745t+748x is its physical channel 3.
    const auto fits = ProceduresFor(user, 14, 2, mistakes);
    EXPECT_TRUE(mistakes.empty());
    ASSERT_EQ(fits.size(), 1u);
    EXPECT_EQ(std::filesystem::path(fits[0].path).filename(), "745t+748x.toml");
    EXPECT_NE(fits[0].procedure.title.find("канал 3"), std::string::npos);
    // An edited file stays as the laboratory left it.
    { std::ofstream(fits[0].path) << "broken"; }
    EnsureUserMethodologies(user, YUKT_METHODOLOGIES_DIR, error);
    EXPECT_TRUE(ProceduresFor(user, 14, 2, mistakes).empty());
    EXPECT_EQ(mistakes.size(), 1u);
    std::filesystem::remove_all(std::filesystem::path(user).parent_path());
}

}  // namespace
}  // namespace yukt::verify
