// yukt-verify handed hostile files and early signals: each ends with its
// documented exit code and a reason the operator can read, never a crash.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "common/cp1251.h"
#include "instrument/set_bench.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string slurp(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

class VerifyFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing_set::makeTempDir();
        fs::create_directory(dir + "cfg");
        for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                 {"tp6606.cfg", ";\n"},
                 {"tpCom.cfg", " 1    9600\n"},
                 {"tp745t.cfg", "745t 2 1 23 6 100 100 1 2500.0\n"}})
            ASSERT_TRUE(WriteTextFile(dir + "cfg/" + name, text));
        std::ofstream(dir + "p.toml")
            << "title = \"745t\"\ndoc = \"МП 001-2026\"\nkinds = [1]\nchannel = 0\n"
               "quantity = \"current\"\npoints = [4, 8]\n[error]\nkind = \"reduced\"\n"
               "limit = 0.2\nrange = 20\n[settling]\ndelay = 5\nagree = 2\nband = 0.005\n"
               "timeout = 20\nreadings = 2\n";
    }
    void TearDown() override { fs::remove_all(dir); }
    pid_t start(const std::string& procedure, const std::string& com1 = "/nonexistent") {
        const std::string program = std::string(YUKT_BIN_DIR) + "/yukt-verify";
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("YUKT_COM1", com1.c_str(), 1);
            freopen("/dev/null", "w", stdout);
            freopen((dir + "err.txt").c_str(), "w", stderr);
            execl(program.c_str(), program.c_str(), "--cfg", (dir + "cfg").c_str(), "--procedure",
                  procedure.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    static int finish(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    std::string dir;
};

TEST_F(VerifyFaults, DeepProcedureFileIsRefusedWithItsLine) {
    std::string deep = "title = \"t\"\nx";
    for (int i = 0; i < 30900; ++i) deep += ".x";
    std::ofstream(dir + "deep.toml") << deep << " = 1\n";
    EXPECT_EQ(finish(start(dir + "deep.toml")), 1);
    EXPECT_EQ(slurp(dir + "err.txt"),
              "yukt-verify: " + dir + "deep.toml:2: вложенность больше 32 уровней\n");
}

// Whatever stands in the place of the module's configuration file, the
// reader's own reason is given, as the console gives it.
TEST_F(VerifyFaults, ConfigurationFilesThatCannotBeReadAreNamedWithTheReason) {
    const std::string file = dir + "cfg/tp745t.cfg";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { ::mkfifo(file.c_str(), 0600); }, file + ": это именованный канал (FIFO)"},
        {[&] { fs::create_directory(file); }, file + ": это каталог"},
        {[&] { fs::create_symlink(file, file); },
         file + ": слишком много символических ссылок (ссылка на саму себя?)"},
        {[&] { fs::create_symlink("/dev/zero", file); }, file + ": это устройство"},
        {[&] { fs::copy_file("/bin/true", file); }, "tp745t.cfg, строка 1: неверное число \""},
    };
    for (const auto& [make, reason] : cases) {
        fs::remove_all(file);
        make();
        EXPECT_EQ(finish(start(dir + "p.toml")), 1) << reason;
        EXPECT_NE(slurp(dir + "err.txt").find(reason), std::string::npos) << slurp(dir + "err.txt");
    }
}

// True once `pid` has become the program proper (the starter executes it,
// signals blocked): a signal from then on meets its dynamic loading.
bool becameProgramProper(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    std::error_code ec;
    while (fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).filename() !=
           "yukt-verify-run") {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50us);
    }
    return true;
}

// SIGINT at any moment of the start gives the verdict "прервано" (exit 4),
// never death by the signal. The module sits behind a server that takes the
// connection and never answers, so the run cannot end first.
TEST_F(VerifyFaults, EarlySigintExitsFour) {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(server, 64);
    socklen_t len = sizeof a;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string com1 = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    for (int delayUs : {0, 0, 0, 200, 500, 1000, 2000, 3000, 5000, 8000, 20000, 300000}) {
        const pid_t pid = start(dir + "p.toml", com1);
        const bool blocked = becameProgramProper(pid);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        kill(pid, blocked ? SIGINT : SIGKILL);
        if (!blocked) finish(pid);
        ASSERT_TRUE(blocked) << "the stop signals are not blocked before the program loads";
        EXPECT_EQ(finish(pid), 4) << delayUs << " µs: " << slurp(dir + "err.txt");
    }
    ::close(server);
}

}  // namespace
}  // namespace yukt
