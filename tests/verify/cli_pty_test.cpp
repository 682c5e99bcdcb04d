// yukt-verify against yukt-bench over a real pseudo-terminal, as an operator
// or a script runs them.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/cp1251.h"
#include "common/text.h"
#include "instrument/set_bench.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string procedureText(double delay) {
    return "title = \"745t\"\ndoc = \"МП 001-2026\"\nkinds = [1]\nchannel = 0\n"
           "quantity = \"current\"\npoints = [4, 8, 12, 16, 20]\n"
           "[error]\nkind = \"reduced\"\nlimit = 0.2\nrange = 20\n"
           "[settling]\ndelay = " +
           FloatToStr(delay) + "\nagree = 2\nband = 0.005\ntimeout = 20\nreadings = 2\n";
}

class VerifyCli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing_set::makeTempDir();
        ASSERT_FALSE(dir.empty());
        fs::create_directory(dir + "cfg");
        for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                 {"tp6606.cfg", ";\n"},
                 {"tpCom.cfg", " 1    9600\n"},
                 {"tp787x.cfg", "787x 1 1 23 1  4  6\n"},
                 {"tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n"},
                 {"tp745t.cfg",
                  "745t 1 1 23 4 99.87 100.02 1 2500.0\n"
                  "745t 2 1 23 6 100 100 1 2500.0\n"}})
            ASSERT_TRUE(WriteTextFile(dir + "cfg/" + name, text));
        const std::string bench = std::string(YUKT_BIN_DIR) + "/yukt-bench";
        benchPid = fork();
        ASSERT_GE(benchPid, 0);
        if (benchPid == 0) {
            freopen("/dev/null", "w", stdout);
            execl(bench.c_str(), bench.c_str(), (dir + "com1").c_str(), "--module", "745t",
                  "--address", "6", "--switch", "verify", "--current-error", "0.1",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && !fs::is_symlink(dir + "com1"); ++i)
            std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(fs::is_symlink(dir + "com1"));
    }

    void TearDown() override {
        if (benchPid > 0) {
            kill(benchPid, SIGTERM);
            waitpid(benchPid, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Starts yukt-verify with stdout and stderr into files.
    pid_t start(const std::vector<std::string>& args) {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("YUKT_COM1", (dir + "com1").c_str(), 1);
            freopen((dir + "out.txt").c_str(), "w", stdout);
            freopen((dir + "err.txt").c_str(), "w", stderr);
            const std::string program = std::string(YUKT_BIN_DIR) + "/yukt-verify";
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }
    int finish(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int run(const std::vector<std::string>& args) { return finish(start(args)); }

    std::string procedure(const std::string& text) {
        const std::string path = dir + "p.toml";
        std::ofstream(path) << text;
        return path;
    }

    std::string dir;
    pid_t benchPid = -1;
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
