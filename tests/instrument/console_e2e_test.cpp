// The command console against the simulated bench program over a real
// pseudo-terminal: the programs as an operator runs them.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/cp1251.h"
#include "common/text.h"
#include "build_slowdown.h"
#include "number_word.h"
#include "set_bench.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path programDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class ConsoleE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing_set::makeTempDir();
        ASSERT_FALSE(dir.empty());
        fs::create_directory(dir + "cfg");
        cfg = dir + "cfg/";
        link = dir + "com1";
        writeCfg("tp6606.cfg", ";Адрес Номер Резонатор Скорость\n");
        writeCfg("tpCom.cfg", ";COM Скорость\n 1    9600\n");
        writeCfg("tp787x.cfg", "787x 1 1 23 1  4  6\n");
        writeCfg("tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n");
        // Shunt and reference as the simulated modules keep them in FLASH.
        writeCfg("tp745t.cfg",
                 "745t 1 1 23 4 99.87 100.02 1 2500.0\n"
                 "745t 2 1 23 6 100 100 1 2500.0\n");
    }

    void TearDown() override {
        stopBench();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    void writeCfg(const std::string& name, const std::string& text) {
        ASSERT_TRUE(WriteTextFile(cfg + name, text));
    }

    // yukt-bench with the calibrator and a 745t under test at address 6 in
    // "Режим поверки", on a pseudo-terminal whose name the link points at.
    // With `control`, the bench reads commands from that file.
    void startBench(const std::string& control = "") {
        const std::string bench = (programDir() / "yukt-bench").string();
        ASSERT_TRUE(fs::exists(bench)) << bench;
        const std::string out = dir + "bench.out";
        if (!control.empty()) std::ofstream(control).close();
        benchPid = fork();
        ASSERT_GE(benchPid, 0);
        if (benchPid == 0) {
            freopen(out.c_str(), "w", stdout);
            if (control.empty())
                execl(bench.c_str(), bench.c_str(), link.c_str(), "--module", "745t", "--address",
                      "6", "--switch", "verify", static_cast<char*>(nullptr));
            else
                execl(bench.c_str(), bench.c_str(), link.c_str(), "--module", "745t", "--address",
                      "6", "--switch", "verify", "--control", control.c_str(),
                      static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!fs::is_symlink(link) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(fs::is_symlink(link)) << slurp(out);
    }

    void stopBench() {
        if (benchPid <= 0) return;
        kill(benchPid, SIGTERM);
        int status = 0;
        waitpid(benchPid, &status, 0);
        benchPid = -1;
    }

    RunResult runConsole(const std::string& input, const std::string& args,
                         const std::string& com1 = "") {
        std::ofstream(dir + "in.txt", std::ios::binary) << input;
        return runConsoleFrom("cat '" + dir + "in.txt'", args, com1);
    }

    // Standard input from a shell command (which may take its time).
    RunResult runConsoleFrom(const std::string& producer, const std::string& args,
                             const std::string& com1 = "") {
        const std::string console = (programDir() / "yukt-console").string();
        const std::string command = "(" + producer + ") | YUKT_COM1='" +
                                    (com1.empty() ? link : com1) + "' '" + console + "' " + args +
                                    " > '" + dir + "out.txt' 2> '" + dir + "err.txt'";
        RunResult r;
        const int status = std::system(command.c_str());
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(dir + "out.txt");
        r.err = slurp(dir + "err.txt");
        return r;
    }

    std::string dir;
    std::string cfg;
    std::string link;
    pid_t benchPid = -1;
};

TEST_F(ConsoleE2E, CommandsDriveTheGeneratorAndReadTheModule) {
    startBench();
    const RunResult r =
        runConsole("Set 787x 1 12 6\nGet 787x 1\n\n   \nget 745t 2\n;comment\nhello\nGet 788t 1\n",
                   "--cfg '" + cfg + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 4u) << r.out;
    EXPECT_EQ(out[0], "787x 1   12.00000  6");
    EXPECT_EQ(GetColumn(out[1], 1, 2), "745t 1");
    EXPECT_EQ(GetColumn(out[2], 1, 2), "745t 2");
    // The module under test reads the generator's current (word 6, mA).
    double current = 0;
    ASSERT_TRUE(StrToFloatStrict(GetColumn(out[2], 6), current)) << out[2];
    EXPECT_NEAR(current, 12.0, 0.001);
    EXPECT_EQ(GetColumn(out[3], 1, 2), "788t 1");
}

TEST_F(ConsoleE2E, PollingReportsBetweenCommands) {
    startBench();
    // Cycles run while the console waits for its next line.
    const RunResult r = runConsoleFrom("echo Get 787x 1; sleep 0.5; echo Get 787x 1",
                                       "--cfg '" + cfg + "' --tick 20 --poll");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    int meterLines = 0;
    int generatorLines = 0;
    for (const std::string& l : lines(r.out)) {
        if (GetColumn(l, 1) == "745t") ++meterLines;
        if (GetColumn(l, 1) == "787x") ++generatorLines;
    }
    EXPECT_EQ(generatorLines, 2);
    // Each cycle reports both 745t modules.
    EXPECT_GE(meterLines, 4);
}

TEST_F(ConsoleE2E, TracesEveryFrameByOptionOrEnvironment) {
    startBench();
    const std::string byOption = dir + "option.trace";
    const std::string byEnv = dir + "env.trace";
    RunResult r = runConsole("Set 787x 1 12 6\n", "--cfg '" + cfg + "' --trace '" + byOption + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ::setenv("YUKT_TRACE", byEnv.c_str(), 1);
    r = runConsole("Set 787x 1 12 6\n", "--cfg '" + cfg + "'");
    ::unsetenv("YUKT_TRACE");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& path : {byOption, byEnv}) {
        const std::vector<std::string> trace = lines(slurp(path));
        ASSERT_FALSE(trace.empty()) << path;
        // The first line names the format, the program and the line.
        EXPECT_EQ(trace[0].rfind("# yukt-trace 2 yukt-console ", 0), 0u) << trace[0];
        EXPECT_NE(trace[0].find(" COM1=9600,"), std::string::npos) << trace[0];
        int sets = 0;
        for (const std::string& l : trace) {
            if (&l == &trace[0]) continue;
            EXPECT_TRUE(GetColumn(l, 2, 2) == "COM1 ->" || GetColumn(l, 2, 2) == "COM1 <-") << l;
            EXPECT_NE(l.find(" | "), std::string::npos) << l;
            // The generator set to 12 mA: DAC code 32767 (FF 7F) with command 1.
            if (l.find("LEN 08 HDR 11 (addr 1 cmd 1) data 13 FF 7F") != std::string::npos) ++sets;
        }
        EXPECT_EQ(sets, 1) << slurp(path);
    }
    // An unwritable trace: one error, the commands are still served.
    r = runConsole("Get 787x 1\n", "--cfg '" + cfg + "' --trace '" + dir + "none/t.trace'");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err,
              "Трасса обмена не пишется: " + dir + "none/t.trace: нет такого файла или каталога\n");
    EXPECT_EQ(lines(r.out).size(), 1u) << r.out;
}

TEST_F(ConsoleE2E, InstrumentThatDoesNotOpenExitsTwo) {
    startBench();
    fs::remove(cfg + "tp6606.cfg");
    RunResult r = runConsole("Get 787x 1\n", "--cfg '" + cfg + "'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("tp6606.cfg"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    // A port that cannot be opened.
    writeCfg("tp6606.cfg", ";\n");
    r = runConsole("Get 787x 1\n", "--cfg '" + cfg + "'", dir + "no-such-port");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("link 1: COM 1  занят: " + dir + "no-such-port: устройство не найдено"),
              std::string::npos)
        << r.err;
}

// The bench goes away as a pulled-out adapter would and comes back on the
// same path: the console says so once each way, idles meanwhile, reads the
// module again within a second, and ends at the end of its input.
TEST_F(ConsoleE2E, LostLineIsReopenedAndInputEndStillEndsTheConsole) {
    startBench();
    const std::string bench = (programDir() / "yukt-bench").string();
    const std::string pidFile = dir + "bench2.pid";
    const std::string eofFile = dir + "eof";
    const std::string restart = "'" + bench + "' '" + link +
                                "' --module 745t --address 6 --switch verify"
                                " </dev/null >/dev/null 2>&1 & echo $! > '" +
                                pidFile + "'";
    std::string lostCommands;
    for (int i = 0; i < 30; ++i) lostCommands += "echo Get 745t 2; ";
    // Each step waits for what the console shows (deadline 30 s), not for
    // a time that a loaded machine may overrun.
    const std::string out = "'" + dir + "out.txt'";
    const std::string err = "'" + dir + "err.txt'";
    const std::string waitFor =
        "wait_for() { i=0; until eval \"$1\"; do i=$((i+1));"
        " [ $i -gt 300 ] && { echo \"timed out: $1\" >&2; return 1; }; sleep 0.1; done; }; ";
    const std::string producer =
        waitFor + "echo Get 745t 2; wait_for \"grep -q 745t " + out + "\"; kill " +
        std::to_string(benchPid) + "; wait_for \"grep -q 'линия потеряна' " + err + "\"; " +
        restart + "; wait_for \"grep -q 'порт снова открыт' " + err + "\"; n=$(wc -l < " + out +
        "); echo Get 745t 2; wait_for \"tail -n +$((n+1)) " + out +
        " | grep '745t *2' | grep -qv Err\"; kill $(cat '" + pidFile +
        "'); wait_for \"[ \\$(grep -c 'линия потеряна' " + err + ") -ge 2 ]\"; " + lostCommands +
        "date +%s.%N > '" + eofFile + "'";
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    const RunResult r = runConsoleFrom(producer, "--cfg '" + cfg + "' --tick 50 --poll");
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    stopBench();  // killed by the shell, reaped here
    ASSERT_EQ(r.exitCode, 0) << r.err;

    auto cpu = [](const rusage& u) {
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    // About 5 s of run, 2.5 s of it on a dead line: far from a spinning core.
    EXPECT_LT(cpu(after) - cpu(before), 0.5 * kBuildSlowdown);
    EXPECT_LT(now - NumberWord(slurp(eofFile)), 1.5 * kBuildSlowdown);

    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = r.err.find(what, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    EXPECT_EQ(count("линия потеряна"), 2u) << r.err;
    EXPECT_EQ(count("порт снова открыт"), 1u) << r.err;
    // The module answered after the bench came back: a 745t 2 line with a
    // value between the two runs of "Err".
    bool valueAfterErr = false;
    bool sawErr = false;
    for (const std::string& l : lines(r.out)) {
        if (GetColumn(l, 1, 2) != "745t 2") continue;
        const bool err = GetColumn(l, 3) == "Err";
        if (err) sawErr = true;
        if (!err && sawErr) valueAfterErr = true;
    }
    EXPECT_TRUE(valueAfterErr) << r.out;
}

// Modules that fall silent on a connected line: after three commands without
// a reply the line is given up, the queued commands are answered at once,
// and once the line answers again (tried once a second) commands go to it.
TEST_F(ConsoleE2E, SilentLineIsGivenUpUntilItAnswersAgain) {
    const std::string control = dir + "ctl";
    startBench(control);
    const std::string out = "'" + dir + "out.txt'";
    std::string producer =
        "echo Get 745t 2; i=0; until grep -q 745t " + out + " 2>/dev/null" +
        "; do i=$((i+1)); [ $i -gt 300 ] && break; sleep 0.1; done; echo 'fault silence' >> '" +
        control + "'; sleep 0.5; ";
    for (int i = 0; i < 200; ++i) producer += "echo Get 745t 2; ";
    producer += "sleep 2; echo 'fault clear' >> '" + control + "'; sleep 1.5; echo Get 745t 2";
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = runConsoleFrom(producer, "--cfg '" + cfg + "'");
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> got = lines(r.out);
    // Every command answered: the silent ones "Err", each at least once.
    std::size_t errors = 0;
    for (const std::string& l : got) errors += GetColumn(l, 3) == "Err";
    EXPECT_GE(errors, 200u) << r.out;
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(GetColumn(got.back(), 1, 2), "745t 2");
    EXPECT_NE(GetColumn(got.back(), 3), "Err") << got.back();
    EXPECT_NE(r.err.find("линия 1: 3 команд подряд без ответа"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("линия 1 снова отвечает"), std::string::npos) << r.err;
    // 200 commands at 0.3 s and more each would take a minute.
    EXPECT_LT(took, 15 * kBuildSlowdown);
}

// A device server that vanishes mid-session and then drops every connection
// attempt (powered off): the queued commands fail at once and the end of
// input ends the console, not one two-second reconnect per exchange later.
TEST_F(ConsoleE2E, ServerThatStopsAcceptingDoesNotHoldTheEndOfInput) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 0);  // one place in the accept queue
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    std::thread server([&] {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 20000) != 1) return;
        const int session = ::accept(listener, nullptr, nullptr);
        // The filler takes the one place: later attempts go unanswered.
        ::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::close(session);
    });
    std::string commands;
    for (int i = 0; i < 8; ++i) commands += "echo Get 745t 2; ";
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = runConsoleFrom(commands, "--cfg '" + cfg + "'",
                                       "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    // Generous against a loaded machine, far below 8 commands x 10 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    server.join();
    ::close(filler);
    ::close(listener);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("линия потеряна"), std::string::npos) << r.err;
    const std::vector<std::string> out = lines(r.out);
    // Each 745t get reports both 745t while it is sent; once the line is
    // given up, a get is answered for its own module alone.
    EXPECT_GE(out.size(), 8u) << r.out;
    EXPECT_LE(out.size(), 16u) << r.out;
    for (const std::string& l : out) EXPECT_EQ(GetColumn(l, 3), "Err") << l;
}

TEST_F(ConsoleE2E, GeneratorLineWithoutPeriodIsRefusedAndTheRestWorks) {
    startBench();
    writeCfg("tp788t.cfg", ";generator\n788t 1 1 23 2 7374.6075308 0 5 0\n");
    RunResult r = runConsole("Set 787x 1 12 6\nGet 787x 1\nGet 745t 2\n", "--cfg '" + cfg + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("tp788t.cfg, строка 2: частота 0 Гц не задает период"), std::string::npos)
        << r.err;
    // The working modules answer as ever (a 745t get reports every 745t).
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 3u) << r.out;
    EXPECT_EQ(out[0], "787x 1   12.00000  6");
    EXPECT_EQ(GetColumn(out[2], 1, 2), "745t 2");

    // A malformed number stays fatal.
    writeCfg("tp788t.cfg", "788t 1 1 23 2 7374.6075308 1x 5 0\n");
    r = runConsole("Get 787x 1\n", "--cfg '" + cfg + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("tp788t.cfg, строка 1"), std::string::npos) << r.err;
}

TEST_F(ConsoleE2E, WrongArgumentsExitTwo) {
    for (const char* args : {"", "--tick 5", "--cfg", "--cfg x --tick 0", "--cfg x --bogus"}) {
        const RunResult r = runConsole("", args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage"), std::string::npos) << args;
    }
}

}  // namespace
}  // namespace yukt
