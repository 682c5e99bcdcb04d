// COM ports behind a serial device server: Debian's ser2net on loopback in
// front of yukt-bench's pseudo-terminal, raw TCP and RFC 2217, including the
// server going away and coming back during a session; a server that
// misbehaves on purpose, played by a socket of the test.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "link/com_port.h"
#include "link/link_hooks.h"
#include "link/tcp_transport.h"
#include "link/tp6606.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kSer2net = "/usr/sbin/ser2net";

int freePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

// Listening on loopback, seen without connecting: a probe connection would
// make the server open the device and turn away the next client meanwhile.
bool listening(int port) {
    std::ifstream in("/proc/net/tcp");
    char local[16];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string slot, address, remote, state;
        words >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;
    }
    return false;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& out) {
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "w", stdout) || !freopen(out.c_str(), "a", stderr)) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

class NetPort : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(kSer2net))
            GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it): "
                            "the device-server tests do not run";
        std::string pattern = (fs::temp_directory_path() / "yukt-net-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
        SetWaitPumpHook([](int) {});
        const std::string bench =
            (fs::read_symlink("/proc/self/exe").parent_path() / "yukt-bench").string();
        ASSERT_TRUE(fs::exists(bench)) << bench;
        benchPid = spawn({bench, dir + "com1", "--log", dir + "bench.log"}, dir + "bench.out");
        for (int i = 0; i < 500 && !fs::is_symlink(dir + "com1"); ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::is_symlink(dir + "com1")) << slurp(dir + "bench.out");
        rawPort = freePort();
        telnetPort = freePort();
        std::ofstream(dir + "ser2net.yaml")
            << "connection: &raw\n  accepter: tcp,127.0.0.1," << rawPort
            << "\n  connector: serialdev," << dir << "com1,9600n81,local\n"
            << "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort
            << "\n  connector: serialdev," << dir << "com1,9600n81,local\n";
        startServer();
    }

    void TearDown() override {
        ::unsetenv("YUKT_COM1");
        SetWaitPumpHook(nullptr);
        stop(serverPid);
        stop(benchPid);
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }

    void startServer() {
        serverPid = spawn({kSer2net, "-n", "-c", dir + "ser2net.yaml", "-P", dir + "ser2net.pid"},
                          dir + "ser2net.out");
        for (int i = 0; i < 500 && !(listening(rawPort) && listening(telnetPort)); ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(listening(rawPort)) << slurp(dir + "ser2net.out");
    }

    std::string address(bool rfc2217) const {
        return rfc2217 ? "rfc2217://127.0.0.1:" + std::to_string(telnetPort)
                       : "tcp://127.0.0.1:" + std::to_string(rawPort);
    }

    // A COM1 link through the server, opened at 9600 baud.
    std::unique_ptr<Ttp6606> openLink(bool rfc2217) {
        ::setenv("YUKT_COM1", address(rfc2217).c_str(), 1);
        auto link = std::make_unique<Ttp6606>();
        link->SetComIndex(0);
        link->SetSpeed(9600);
        link->OpenLink(true);
        return link;
    }

    std::string dir;
    pid_t benchPid = -1;
    pid_t serverPid = -1;
    int rawPort = 0;
    int telnetPort = 0;
};

class NetPortForms : public NetPort, public ::testing::WithParamInterface<bool> {};

TEST_P(NetPortForms, ExchangesFramesAndTextThroughTheServer) {
    auto link = openLink(GetParam());
    ASSERT_TRUE(link->IsOpen()) << link->ErrorText;
    EXPECT_TRUE(ComPortExists(1));
    link->SetAddr(1);  // the calibrator's current generator
    EXPECT_EQ(link->ReadIdent(), "87X01A10");
    link->SetAddr(9);  // nobody
    EXPECT_EQ(link->ReadIdent(), "?");
    // "я" is 0xFF in Windows-1251: the byte Telnet must escape.
    link->SendText("проверка я");
    link->SetAddr(2);
    EXPECT_EQ(link->ReadIdent(), "88T01A10");
    EXPECT_NE(slurp(dir + "bench.log").find("\"проверка я\""), std::string::npos)
        << slurp(dir + "bench.log");
}

TEST_P(NetPortForms, SurvivesTheServerRestartingDuringASession) {
    auto link = openLink(GetParam());
    ASSERT_TRUE(link->IsOpen()) << link->ErrorText;
    link->SetAddr(1);
    ASSERT_EQ(link->ReadIdent(), "87X01A10");

    stop(serverPid);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(link->ReadIdent(), "?");
    // A dropped connection fails at once instead of waiting for a reply.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_TRUE(link->IsOpen());

    // While the server is away a fresh open fails like a busy port, with
    // the reason after it.
    auto other = openLink(GetParam());
    EXPECT_FALSE(other->IsOpen());
    EXPECT_EQ(other->ErrorMessage(),
              "COM-порт занят: " + address(GetParam()) + ": соединение отвергнуто");
    EXPECT_FALSE(ComPortExists(1));

    startServer();
    // The link connects again between exchanges, after 1, 2, 4 ... s: ask
    // until the module answers, with a deadline well beyond that.
    std::string ident;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (ident != "87X01A10" && std::chrono::steady_clock::now() < deadline) {
        ident = link->ReadIdent();
        if (ident != "87X01A10") std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(ident, "87X01A10") << link->ErrorText;
}

INSTANTIATE_TEST_SUITE_P(Forms, NetPortForms, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "rfc2217" : "tcp"; });

TEST(NetAddress, ParsesBothSchemesAndRefusesMalformedNames) {
    struct Case {
        const char* device;
        bool ok;
        bool rfc2217;
        const char* host;
        const char* port;
    };
    const Case cases[] = {
        {"tcp://127.0.0.1:3001", true, false, "127.0.0.1", "3001"},
        {"rfc2217://bench-7.lab:2217", true, true, "bench-7.lab", "2217"},
        {"tcp://[::1]:4000", true, false, "::1", "4000"},
        {"tcp://host", false, false, "", ""},
        {"tcp://host:", false, false, "", ""},
        {"tcp://:3001", false, false, "", ""},
        {"tcp://host:70000", false, false, "", ""},
        {"tcp://host:12ab", false, false, "", ""},
    };
    for (const Case& c : cases) {
        NetAddress a;
        std::string error;
        EXPECT_EQ(ParseNetAddress(c.device, a, error), c.ok) << c.device;
        if (!c.ok) {
            EXPECT_NE(error.find(c.device), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(a.rfc2217, c.rfc2217) << c.device;
        EXPECT_EQ(a.host, c.host) << c.device;
        EXPECT_EQ(a.port, c.port) << c.device;
    }
    EXPECT_TRUE(IsNetworkDevice("rfc2217://h:1"));
    EXPECT_FALSE(IsNetworkDevice("/dev/ttyS0"));
}

// A server that floods line data before it confirms the line settings is
// refused once 64 KiB have come, whatever more it has.
TEST(DeviceServerFaults, FloodBeforeTheSettingsAreConfirmedIsRefused) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread server([listener] {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) return;
        const int client = ::accept(listener, nullptr, nullptr);
        // 0xFF doubled is line data: up to 16 MiB, until the client gives up.
        const std::vector<std::uint8_t> flood(64 * 1024, 0xFF);
        for (int i = 0; i < 256; ++i)
            if (::send(client, flood.data(), flood.size(), MSG_NOSIGNAL) <= 0) break;
        ::close(client);
    });
    const std::string device = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    std::string error;
    EXPECT_EQ(OpenNetworkPort(device, 9600, error), nullptr);
    EXPECT_EQ(error,
              device + ": сервер шлёт данные, не подтвердив настройки линии (больше 64 КиБ)");
    server.join();
    ::close(listener);
}

}  // namespace
}  // namespace yukt
