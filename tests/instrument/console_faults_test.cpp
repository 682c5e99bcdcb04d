// The console against a device server that misbehaves, played by a socket of
// the test: the server stops taking connections in the middle of a session,
// the trace is named as a FIFO, the port as a symlink loop.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/cp1251.h"
#include "common/text.h"
#include "set_bench.h"

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

// A listening socket on loopback whose accept queue holds one connection:
// once that place is taken, further connection attempts go unanswered, as
// with a powered-off server.
struct Listener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    Listener() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 0);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    int acceptWithin(std::chrono::milliseconds limit) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(limit.count())) == 1 ? ::accept(fd, nullptr, nullptr)
                                                                   : -1;
    }
    // Takes the one place in the queue with a connection nobody accepts.
    int fillQueue() const {
        const int c = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        return c;
    }
};

class ConsoleFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing_set::makeTempDir();
        ASSERT_FALSE(dir.empty());
        fs::create_directory(dir + "cfg");
        for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                 {"tp6606.cfg", ";\n"},
                 {"tpCom.cfg", " 1    9600\n"},
                 {"tp745t.cfg", "745t 2 1 23 6 100 100 1 2500.0\n"}})
            ASSERT_TRUE(WriteTextFile(dir + "cfg/" + name, text));
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (input >= 0) ::close(input);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // yukt-console with COM 1 at `com1`, standard input from the test.
    void start(const std::string& com1, const std::vector<std::string>& extra = {}) {
        const std::string program =
            (fs::read_symlink("/proc/self/exe").parent_path() / "yukt-console").string();
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(fds[0], 0);
            setenv("YUKT_COM1", com1.c_str(), 1);
            freopen((dir + "out.txt").c_str(), "w", stdout);
            freopen((dir + "err.txt").c_str(), "w", stderr);
            std::vector<std::string> args{program, "--cfg", dir + "cfg"};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        ::close(fds[0]);
        input = fds[1];
    }
    void send(const std::string& text) {
        ASSERT_EQ(::write(input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Ends the input; the exit code, or -1 when the console is still there
    // after `limit`.
    int endInputAndWait(std::chrono::milliseconds limit) {
        ::close(input);
        input = -1;
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        pollfd p{pidfd, POLLIN, 0};
        const bool ended = ::poll(&p, 1, static_cast<int>(limit.count())) == 1;
        ::close(pidfd);
        if (!ended) return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir;
    pid_t pid = -1;
    int input = -1;
};

// The server vanishes for good mid-session and never answers a connection
// attempt again: queued commands fail at once and the end of input ends the
// console soon after, not one two-second reconnect per exchange later.
TEST_F(ConsoleFaults, ServerThatStopsAcceptingDoesNotHoldTheEndOfInput) {
    Listener server;
    start("tcp://127.0.0.1:" + std::to_string(server.port), {"--tick", "50"});
    const int session = server.acceptWithin(20s);
    ASSERT_GE(session, 0) << slurp(dir + "err.txt");
    const int filler = server.fillQueue();
    send("Get 745t 2\n");
    ::close(session);
    for (int i = 0; i < 7; ++i) send("Get 745t 2\n");
    // Generous against a loaded machine, far below 7 commands x 10 s.
    EXPECT_EQ(endInputAndWait(5s), 0) << slurp(dir + "err.txt");
    ::close(filler);
    EXPECT_NE(slurp(dir + "err.txt").find("линия потеряна"), std::string::npos);
    int lines = 0;
    for (std::istringstream out(slurp(dir + "out.txt")); !out.eof();) {
        std::string line;
        if (!std::getline(out, line) || line.empty()) continue;
        ++lines;
        EXPECT_EQ(GetColumn(line, 3), "Err") << line;
    }
    EXPECT_EQ(lines, 8);
}

// A trace that is not a regular file is refused at once with its reason;
// the console goes on untraced. A port named by a symlink loop says so in
// Russian.
TEST_F(ConsoleFaults, TraceAndPortThatCannotBeUsedAreNamed) {
    Listener server;
    const std::string fifo = dir + "trace.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    start("tcp://127.0.0.1:" + std::to_string(server.port), {"--trace", fifo});
    const int session = server.acceptWithin(20s);
    ASSERT_GE(session, 0);
    send("Get 745t 2\n");
    EXPECT_EQ(endInputAndWait(20s), 0);
    ::close(session);
    EXPECT_EQ(slurp(dir + "err.txt"),
              "Трасса обмена не пишется: " + fifo + ": это именованный канал (FIFO)\n");

    fs::create_symlink(dir + "loop", dir + "loop");
    start(dir + "loop");
    EXPECT_EQ(endInputAndWait(20s), 2);
    EXPECT_NE(slurp(dir + "err.txt")
                  .find(dir + "loop: слишком много символических ссылок (ссылка на саму себя?)"),
              std::string::npos)
        << slurp(dir + "err.txt");
}

}  // namespace
}  // namespace yukt
