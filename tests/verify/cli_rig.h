#pragma once
// yukt-verify against yukt-bench over a real pseudo-terminal: the bench
// program on its own pty with a control file, yukt-verify started with
// stdout and stderr into files and, when asked, stdin on a terminal of its
// own (so that it asks its questions there). Shared by the command-line tests.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "common/text_file.h"
#include "instrument/set_bench.h"

namespace yukt::testing_cli {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliRig : public ::testing::Test {
  protected:
    // Options of the bench program beyond its line and the module under test.
    virtual std::vector<std::string> benchOptions() const { return {}; }

    void SetUp() override {
        dir = testing_set::makeTempDir();
        ASSERT_FALSE(dir.empty());
        fs::create_directory(dir + "cfg");
        writeCfg(6);
        std::vector<std::string> args{std::string(YUKT_BIN_DIR) + "/yukt-bench",
                                      dir + "com1",
                                      "--module",
                                      "745t",
                                      "--address",
                                      "6",
                                      "--switch",
                                      "verify",
                                      "--control",
                                      dir + "control"};
        for (const std::string& o : benchOptions()) args.push_back(o);
        std::ofstream(dir + "control").flush();
        benchPid = fork();
        ASSERT_GE(benchPid, 0);
        if (benchPid == 0) {
            freopen((dir + "bench.txt").c_str(), "w", stdout);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
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
        if (master >= 0) close(master);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // The bench's calibrator, the meter and the module under test (745t at
    // `address`).
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

    // Starts yukt-verify with stdout and stderr into out.txt and err.txt;
    // `terminal`: stdin on a pseudo-terminal (`master` is its other end).
    pid_t start(const std::vector<std::string>& args, bool terminal = false) {
        std::string slave;
        if (terminal) {
            if (master >= 0) close(master);
            master = posix_openpt(O_RDWR | O_NOCTTY);
            EXPECT_GE(master, 0);
            grantpt(master);
            unlockpt(master);
            slave = ptsname(master);
        }
        const pid_t pid = fork();
        if (pid == 0) {
            if (terminal) {
                const int fd = open(slave.c_str(), O_RDWR);
                dup2(fd, STDIN_FILENO);
            }
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
    // The exit status, or -signal when killed.
    static int finish(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    int run(const std::vector<std::string>& args) { return finish(start(args)); }

    // A command to the bench through its control file.
    void benchCommand(const std::string& line) {
        std::ofstream(dir + "control", std::ios::app) << line << "\n";
    }
    // What the bench's current generator puts out now, as the bench
    // describes itself after a command that changes nothing.
    std::optional<double> generatorMa() {
        const std::size_t before = slurp(dir + "bench.txt").size();
        benchCommand("switch verify");
        static const std::regex current(R"(current (\S+) mA, error)");
        for (int i = 0; i < 500; ++i) {
            const std::string text = slurp(dir + "bench.txt");
            std::smatch m;
            const std::string added = text.size() > before ? text.substr(before) : "";
            double ma = 0;
            if (std::regex_search(added, m, current) && StrToFloatStrict(m[1].str(), ma)) return ma;
            std::this_thread::sleep_for(20ms);
        }
        return std::nullopt;
    }

    std::string dir;
    pid_t benchPid = -1;
    int master = -1;
};

}  // namespace yukt::testing_cli
