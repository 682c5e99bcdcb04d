// yukt-verify on a terminal: a stop signal while it waits for the operator's
// answer ends the run at once, "прервано", the generator set safe; a module
// that does not answer when the instrument opens keeps the run from
// beginning (exit 2, no verdict).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/text_file.h"
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

class VerifyTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing_set::makeTempDir();
        ASSERT_FALSE(dir.empty());
        fs::create_directory(dir + "cfg");
        writeCfg(6);
        std::ifstream in(std::string(YUKT_METHODOLOGIES_DIR) + "/745t.toml");
        std::stringstream text;
        text << in.rdbuf();
        std::ofstream(dir + "745t.toml") << text.str();
        const std::string bench = std::string(YUKT_BIN_DIR) + "/yukt-bench";
        benchPid = fork();
        ASSERT_GE(benchPid, 0);
        if (benchPid == 0) {
            freopen("/dev/null", "w", stdout);
            execl(bench.c_str(), bench.c_str(), (dir + "com1").c_str(), "--module", "745t",
                  "--address", "6", "--switch", "verify", static_cast<char*>(nullptr));
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
    void writeCfg(int address) {
        for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                 {"tp6606.cfg", ";\n"},
                 {"tpCom.cfg", " 1    9600\n"},
                 {"tp787x.cfg", "787x 1 1 23 1  4  6\n"},
                 {"tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n"},
                 {"tp745t.cfg", "745t 1 1 23 4 99.87 100.02 1 2500.0\n745t 2 1 23 " +
                                    std::to_string(address) + " 100 100 1 2500.0\n"}})
            ASSERT_TRUE(WriteTextFile(dir + "cfg/" + name, text));
    }

    // yukt-verify with stdin on a pseudo-terminal (so it asks there), stdout
    // and stderr into files.
    pid_t start() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        grantpt(master);
        unlockpt(master);
        const std::string slave = ptsname(master);
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(slave.c_str(), O_RDWR);
            dup2(fd, STDIN_FILENO);
            setenv("YUKT_COM1", (dir + "com1").c_str(), 1);
            freopen((dir + "out.txt").c_str(), "w", stdout);
            freopen((dir + "err.txt").c_str(), "w", stderr);
            const std::string program = std::string(YUKT_BIN_DIR) + "/yukt-verify";
            execl(program.c_str(), program.c_str(), "--cfg", (dir + "cfg").c_str(),
                  "--methodology", (dir + "745t.toml").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    // The exit status, or -signal when killed.
    static int finish(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    std::string dir;
    pid_t benchPid = -1;
    int master = -1;
};

TEST_F(VerifyTerminal, StopSignalAtTheQuestionEndsTheRun) {
    for (int sig : {SIGHUP, SIGQUIT, SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        fs::remove(dir + "err.txt");
        const pid_t pid = start();
        // The question of the first manual operation is on the terminal.
        for (int i = 0; i < 1500 && slurp(dir + "err.txt").find("соответствует?") == std::string::npos;
             ++i)
            std::this_thread::sleep_for(20ms);
        ASSERT_NE(slurp(dir + "err.txt").find("7.1 Внешний осмотр"), std::string::npos)
            << slurp(dir + "err.txt");
        kill(pid, sig);
        EXPECT_EQ(finish(pid), 4) << slurp(dir + "err.txt");
        close(master);
        const std::string out = slurp(dir + "out.txt");
        EXPECT_NE(out.find("итог: прервано"), std::string::npos) << out;
        // Nothing was answered for the operator.
        EXPECT_EQ(out.find("7.1 Внешний осмотр: соответствует"), std::string::npos) << out;
        EXPECT_EQ(slurp(dir + "err.txt").find("не подтверждено"), std::string::npos);
    }
}

TEST_F(VerifyTerminal, ModuleThatDoesNotAnswerAtTheStartIsNoVerdict) {
    writeCfg(9);  // nothing answers at address 9
    const pid_t pid = start();
    EXPECT_EQ(finish(pid), 2);
    close(master);
    EXPECT_EQ(slurp(dir + "err.txt"),
              "yukt-verify: модуль под поверкой не отвечает по адресу 9 (COM1)\n");
    EXPECT_EQ(slurp(dir + "out.txt"), "");
}

}  // namespace
}  // namespace yukt
