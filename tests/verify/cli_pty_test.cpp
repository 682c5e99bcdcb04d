// yukt-verify against yukt-bench over a real pseudo-terminal, as an operator
// or a script runs them.

#include "cli_rig.h"
#include "common/cp1251.h"

namespace yukt {
namespace {

using namespace testing_cli;

std::string procedureText(double delay) {
    return "title = \"745t\"\ndoc = \"МП 001-2026\"\nkinds = [1]\nchannel = 0\n"
           "quantity = \"current\"\npoints = [4, 8, 12, 16, 20]\n"
           "[error]\nkind = \"reduced\"\nlimit = 0.2\nrange = 20\n"
           "[settling]\ndelay = " +
           FloatToStr(delay) + "\nagree = 2\nband = 0.005\ntimeout = 20\nreadings = 2\n";
}

class VerifyCli : public CliRig {
  protected:
    std::vector<std::string> benchOptions() const override { return {"--current-error", "0.1"}; }

    std::string procedure(const std::string& text) {
        const std::string path = dir + "p.toml";
        std::ofstream(path) << text;
        return path;
    }
};

TEST_F(VerifyCli, JsonLinesAndExitCodeOfAnUnfitModule) {
    // 0.1 mA off is 0.5 % of the 20 mA range: beyond 0.2 % at every point.
    ASSERT_EQ(run({"--cfg", dir + "cfg", "--procedure", procedure(procedureText(0)), "--json"}), 3)
        << slurp(dir + "err.txt");
    std::istringstream out(slurp(dir + "out.txt"));
    std::vector<std::string> lines;
    for (std::string l; std::getline(out, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 6u) << out.str();
    EXPECT_EQ(lines[0],
              "{\"point\": 1, \"nominal\": 4, \"reference\": 4, \"readings\": [4.1, 4.1], "
              "\"measured\": 4.1, \"error\": 0.5, \"error_kind\": \"reduced\", \"limit\": 0.2, "
              "\"result\": \"fail\", \"reason\": \"\", \"operation\": \"1\", \"channel\": 1}");
    EXPECT_EQ(lines[5].rfind("{\"verdict\": \"не годен\", \"points\": 5, \"failed\": 5, "
                             "\"not_measured\": 0, \"methodology\": \"МП 001-2026\", \"revision\": 0, "
                             "\"sha256\": \"",
                             0),
              0u)
        << lines[5];
}

// The shipped 745t methodology: a manual operation refused with a remark, the
// software check on the identification the module gave, every point off.
TEST_F(VerifyCli, MethodologyOperationsAnsweredFromTheCommandLine) {
    std::ifstream in(std::string(YUKT_METHODOLOGIES_DIR) + "/745t.toml");
    std::stringstream text;
    text << in.rdbuf();
    std::string m = text.str();
    m.replace(m.find("delay = 1.0"), 11, "delay = 0");
    ASSERT_EQ(run({"--cfg", dir + "cfg", "--methodology", procedure(m), "--json", "--confirm",
                   "7.1=no:скол корпуса"}),
              3)
        << slurp(dir + "err.txt");
    std::istringstream out(slurp(dir + "out.txt"));
    std::vector<std::string> lines;
    for (std::string l; std::getline(out, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 3u + 5 + 1) << out.str();
    EXPECT_EQ(lines[0], "{\"operation\": \"7.1\", \"title\": \"Внешний осмотр\", \"result\": "
                        "\"fail\", \"remark\": \"скол корпуса\"}");
    EXPECT_NE(lines[1].find("\"operation\": \"7.2\", \"title\": \"Опробование\", \"result\": \"pass\""),
              std::string::npos);
    EXPECT_NE(lines[2].find("\"result\": \"pass\", \"remark\": \"\", \"found\": "
                            "\"ЮКТ - 745T.01A v10 (45T01A10)\""),
              std::string::npos)
        << lines[2];
    EXPECT_NE(lines[3].find("\"operation\": \"7.4\", \"channel\": 1}"), std::string::npos);
    // What the reference contributes at the point.
    EXPECT_NE(lines[3].find("\"u\": "), std::string::npos) << lines[3];
    EXPECT_NE(lines[3].find("\"ratio\": "), std::string::npos) << lines[3];
    EXPECT_EQ(lines[8].rfind("{\"verdict\": \"не годен\", \"points\": 8, \"failed\": 6, "
                             "\"not_measured\": 0, \"methodology\": \"МП 001-2026\", \"revision\": 1",
                             0),
              0u)
        << lines[8];
    EXPECT_EQ(run({"--cfg", dir + "cfg", "--methodology", procedure(m), "--confirm", "7.1=maybe"}),
              2);
    // An identification given on the command line cannot stand in for the
    // module's own.
    EXPECT_EQ(run({"--cfg", dir + "cfg", "--methodology", procedure(m), "--ident", "45T01A11"}), 2);
    EXPECT_NE(slurp(dir + "err.txt").find("не совпадает с идентификацией модуля 45T01A10"),
              std::string::npos)
        << slurp(dir + "err.txt");
}

TEST_F(VerifyCli, MistakesAndArguments) {
    EXPECT_EQ(run({"--cfg", dir + "cfg", "--procedure", procedure("title = \"x\"\nfoo = 1\n")}), 1);
    EXPECT_NE(slurp(dir + "err.txt").find("p.toml:2: foo:"), std::string::npos)
        << slurp(dir + "err.txt");
    EXPECT_EQ(run({"--cfg", dir + "cfg"}), 2);
    EXPECT_EQ(run({"--cfg", dir + "cfg", "--procedure", "x", "--bogus"}), 2);
    fs::remove(dir + "cfg/tp6606.cfg");
    EXPECT_EQ(run({"--cfg", dir + "cfg", "--procedure", procedure(procedureText(0))}), 2);
}

// A stop after a measured failure keeps "не годен"; the rest is not measured.
TEST_F(VerifyCli, SigintAfterAFailureStopsWithTheVerdictUnfit) {
    const pid_t pid =
        start({"--cfg", dir + "cfg", "--procedure", procedure(procedureText(0.5)), "--json"});
    // Stop once the first point is out.
    for (int i = 0; i < 500 && slurp(dir + "out.txt").empty(); ++i)
        std::this_thread::sleep_for(20ms);
    kill(pid, SIGINT);
    EXPECT_EQ(finish(pid), 3);
    const std::string out = slurp(dir + "out.txt");
    EXPECT_NE(out.find("\"reason\": \"остановлено\""), std::string::npos) << out;
    EXPECT_NE(out.find("{\"verdict\": \"не годен\", \"points\": 5, \"failed\": 1, "
                       "\"not_measured\": 4"),
              std::string::npos)
        << out;
}

}  // namespace
}  // namespace yukt
