// The COM byte path over a real pseudo-terminal whose module side the test
// scripts: replies that stall or come in pieces, late replies, a line that
// hangs up and comes back at the same path, and ports that cannot open.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "fake_com.h"
#include "link/com_port.h"
#include "link/link_cfg.h"
#include "link/link_hooks.h"
#include "link/tp6606.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ModuleFrame;

const std::vector<std::uint8_t> kIdentReply =
    ModuleFrame(0x68, {'7', '4', '5', '0', '0', 'A', '0', '1'});

// The module side of a pseudo-terminal reached through a symlink, as
// yukt-bench offers it. Nobody else holds the terminal, so closing the
// master hangs the line up; open() again puts a new one at the same path.
class ScriptedPty {
  public:
    explicit ScriptedPty(std::string link) : m_link(std::move(link)) { open(); }
    ~ScriptedPty() { close(); }

    bool open() {
        close();
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return false;
        ::unlink(m_link.c_str());
        return ::symlink(::ptsname(m_master), m_link.c_str()) == 0;
    }
    // Like yukt-bench at its end: the terminal and the symlink go.
    void close() {
        if (m_master >= 0) {
            ::close(m_master);
            ::unlink(m_link.c_str());
        }
        m_master = -1;
    }
    void write(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    // The module's reply, written in pieces of `chunk` bytes `gap` apart.
    void writeSlowly(const std::vector<std::uint8_t>& bytes, std::size_t chunk,
                     std::chrono::milliseconds gap) {
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            if (at > 0) std::this_thread::sleep_for(gap);
            const std::size_t n = std::min(chunk, bytes.size() - at);
            write(
                {bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + n)});
        }
    }
    // Everything the host sent within `wait`.
    std::vector<std::uint8_t> received(std::chrono::milliseconds wait = 100ms) {
        std::vector<std::uint8_t> out;
        pollfd p{m_master, POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(wait.count())) > 0 && (p.revents & POLLIN)) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
            wait = 20ms;
        }
        return out;
    }

  private:
    std::string m_link;
    int m_master = -1;
};

double threadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class LineIo : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/yukt-line-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        pty = std::make_unique<ScriptedPty>(dir + "/com1");
        ::setenv("YUKT_COM1", (dir + "/com1").c_str(), 1);
        link.SetComIndex(0);
        link.SetSpeed(9600);
        link.OpenLink(true);
        ASSERT_TRUE(link.IsOpen()) << link.ErrorMessage();
        link.SetAddr(6);
    }
    void TearDown() override {
        SetLineStateHook({});
        link.OpenLink(false);
        pty.reset();
        ::unsetenv("YUKT_COM1");
        fs::remove_all(dir);
    }
    std::string dir;
    std::unique_ptr<ScriptedPty> pty;
    Ttp6606 link;
};

TEST_F(LineIo, RepliesInPiecesAndStallsKeepThePerByteTimeOut) {
    struct Case {
        const char* what;
        std::size_t chunk;  // bytes per write of the module
        std::chrono::milliseconds gap;
        std::size_t cut;  // bytes of the reply that ever come
        int result;
    } cases[] = {
        {"one burst", 100, 0ms, kIdentReply.size(), 0},
        {"a read per byte", 1, 3ms, kIdentReply.size(), 0},
        {"late halves", 12, 200ms, kIdentReply.size(), 0},
        {"stalled mid-way", 5, 10ms, 11, -1},
    };
    for (const Case& c : cases) {
        link.SendCmd(1, 6, 7);
        EXPECT_EQ(pty->received().size(), 10u) << c.what;
        const std::vector<std::uint8_t> reply(kIdentReply.begin(),
                                              kIdentReply.begin() + static_cast<long>(c.cut));
        std::thread module([&] { pty->writeSlowly(reply, c.chunk, c.gap); });
        const auto t0 = Clock::now();
        EXPECT_EQ(link.ReceiveFrame(1), c.result) << c.what;
        const auto took = Clock::now() - t0;
        module.join();
        if (c.result == 0) {
            EXPECT_EQ(std::string(link.Buf, link.Buf + link.RecvLen), "74500A01") << c.what;
        } else {
            // The last byte came after about 20 ms; the frame ends one byte
            // time-out later.
            EXPECT_GE(took, kByteTimeout) << c.what;
            EXPECT_LT(took, kByteTimeout + 500ms) << c.what;
        }
    }
}

// Late replies: after a request that timed out, after one whose reply was
// never read, and bytes that came behind a reply in the same burst.
TEST_F(LineIo, LateReplyIsDroppedBeforeTheNextRequest) {
    const std::vector<std::uint8_t> stale = ModuleFrame(0x68, {'S', 'T', 'A', 'L', 'E'});
    enum class Before { TimedOut, NotRead, Trailing };
    for (Before before : {Before::TimedOut, Before::NotRead, Before::Trailing}) {
        const auto what = static_cast<int>(before);
        const std::size_t dropped = link.StaleBytes;
        link.SendCmd(1, 6, 7);
        pty->received();
        if (before == Before::TimedOut) {
            EXPECT_EQ(link.ReceiveFrame(1), -1);
        }
        if (before == Before::Trailing) {
            std::vector<std::uint8_t> burst = kIdentReply;
            burst.insert(burst.end(), stale.begin(), stale.end());
            pty->write(burst);
            EXPECT_EQ(link.ReceiveFrame(1), 0) << what;
        } else {
            pty->write(stale);
        }
        std::this_thread::sleep_for(20ms);
        link.SendCmd(1, 6, 7);
        EXPECT_EQ(link.StaleBytes - dropped, stale.size()) << what;
        pty->received();
        pty->write(kIdentReply);
        EXPECT_EQ(link.ReceiveFrame(1), 0) << what;
        EXPECT_EQ(std::string(link.Buf, link.Buf + link.RecvLen), "74500A01") << what;
    }
    // Text frames never drop input: a remote console may be typing.
    const std::size_t dropped = link.StaleBytes;
    pty->write(stale);
    std::this_thread::sleep_for(20ms);
    link.SendText("x");
    EXPECT_EQ(link.StaleBytes, dropped);
}

TEST_F(LineIo, HungUpLineIsClosedAndReopenedWhenItReturns) {
    std::vector<bool> states;
    SetLineStateHook([&](int com, bool lost) {
        EXPECT_EQ(com, 1);
        states.push_back(lost);
    });
    pty->close();
    // Requests on the lost line fail as on a silent one, without waiting and
    // without burning the processor.
    const double cpu0 = threadCpuSeconds();
    const auto t0 = Clock::now();
    for (auto until = t0 + 1500ms; Clock::now() < until; std::this_thread::sleep_for(20ms))
        EXPECT_EQ(link.ReadIdent(), "?");
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_LT(threadCpuSeconds() - cpu0, 0.05 * wall);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(link.LineLost());
    EXPECT_EQ(states, std::vector<bool>{true});

    ASSERT_TRUE(pty->open());
    std::thread module([&] {
        for (auto until = Clock::now() + 3s; Clock::now() < until;)
            if (pty->received(50ms).size() >= 10) {
                pty->write(kIdentReply);
                return;
            }
    });
    const auto back = Clock::now();
    std::string ident = "?";
    while (ident == "?" && Clock::now() - back < 3s) {
        ident = link.ReadIdent();
        std::this_thread::sleep_for(20ms);
    }
    module.join();
    EXPECT_EQ(ident, "74500A01");
    EXPECT_LT(Clock::now() - back, kReopenInterval + kByteTimeout + 200ms);
    EXPECT_FALSE(link.LineLost());
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
}

// Opens COM 1 through tpCom.cfg as the module set does.
std::string comOpenError(const std::string& dir, const std::string& device) {
    std::ofstream(dir + "/tpCom.cfg") << "1 9600\n";
    ::setenv("YUKT_COM1", device.c_str(), 1);
    LinkTable links;
    ReadComCfg(links, dir + "/", nullptr);
    return links.Entry(1) ? links.Entry(1)->ErrorMessage() : "no link";
}

TEST_F(LineIo, PortThatDoesNotOpenSaysWhy) {
    link.OpenLink(false);
    fs::create_directory(dir + "/dir");
    std::ofstream(dir + "/plain") << "x";
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    fs::create_symlink(dir + "/loop", dir + "/loop");
    struct Case {
        std::string device;
        std::string error;
    } cases[] = {
        {dir + "/plain",
         "COM 1  занят: " + dir + "/plain: это не последовательный порт (обычный файл)"},
        {dir + "/dir", "COM 1  занят: " + dir + "/dir: это не последовательный порт (каталог)"},
        {dir + "/fifo",
         "COM 1  занят: " + dir + "/fifo: это не последовательный порт (канал FIFO)"},
        {"/dev/null", "COM 1  занят: /dev/null: это не последовательный порт"},
        {dir + "/none", "COM 1  занят: " + dir + "/none: устройство не найдено"},
        {dir + "/loop", "COM 1  занят: " + dir +
                            "/loop: слишком много символических ссылок (ссылка на саму себя?)"},
        {dir + "/com1", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(comOpenError(dir, c.device), c.error) << c.device;
}

TEST_F(LineIo, PortWithoutPermissionNamesTheDialoutGroup) {
    const std::string device = fs::read_symlink(dir + "/com1");
    link.OpenLink(false);
    ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
    // Root opens anything: the open is tried as an ordinary user.
    int pipeFd[2];
    ASSERT_EQ(::pipe(pipeFd), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool root = ::geteuid() == 0;
        if (root && ::setuid(65534) != 0) ::_exit(2);
        if (!root && ::chmod(device.c_str(), 0) != 0) ::_exit(2);
        std::string error;
        OpenSerialDevice(device, 9600, error);
        (void)!::write(pipeFd[1], error.data(), error.size());
        ::_exit(0);
    }
    ::close(pipeFd[1]);
    std::string error;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFd[0], buf, sizeof buf)) > 0;) error.append(buf, n);
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(error, "нет доступа к " + device + " (нужна группа dialout)");
}

}  // namespace
}  // namespace yukt
