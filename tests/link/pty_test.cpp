// End to end over a real pseudo-terminal pair: the link opens the slave side
// as its COM port, a small module thread answers on the master side.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "link/com_port.h"
#include "link/tp6606.h"

namespace yukt {
namespace {

// Trickle answers a byte at a time, a millisecond apart, as a slow line does.
enum class Behaviour { Answer, Refuse, Silent, NoiseFirst, Trickle };

// A module at any address: answers identification (command 7) with its text
// and reset (command 0) with an empty frame; echoes text frames back upper-cased.
class PtyModule {
  public:
    PtyModule() {
        char name[256];
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) return;
        m_name = name;
        ::fcntl(m_master, F_SETFL, O_NONBLOCK);
        m_thread = std::thread([this] { run(); });
    }
    ~PtyModule() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_master >= 0) ::close(m_master);
        if (m_slave >= 0) ::close(m_slave);
    }
    const std::string& name() const { return m_name; }
    void behave(Behaviour b) { m_behaviour = b; }
    std::vector<std::uint8_t> received() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

  private:
    void run() {
        std::vector<std::uint8_t> pending;
        while (!m_stop) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            std::uint8_t buf[256];
            ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0) continue;
            for (ssize_t i = 0; i < n; ++i) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_received.push_back(buf[i]);
                }
                pending.push_back(buf[i]);
                if (buf[i] == 10 && !pending.empty()) {
                    serveFrame(pending);
                    pending.clear();
                } else if (buf[i] == 26) {
                    serveText(pending);
                    pending.clear();
                }
            }
        }
    }

    static int nibbles(std::uint8_t hi, std::uint8_t lo) { return ((hi & 15) << 4) | (lo & 15); }

    void serveFrame(const std::vector<std::uint8_t>& f) {
        std::size_t start = 0;
        while (start < f.size() && f[start] != 0x55) ++start;
        if (start + 5 > f.size()) return;
        const int hdr = nibbles(f[start + 3], f[start + 4]);
        const int addr = hdr >> 4;
        const int cmd = hdr & 15;
        std::vector<std::uint8_t> data;
        if (cmd == 7) data = {'7', '4', '5', '0', '0', 'A', '0', '1', 'x'};
        const Behaviour b = m_behaviour;
        if (b == Behaviour::Silent) return;
        int status = addr << 4 | (b == Behaviour::Refuse ? 0 : 8);
        std::vector<std::uint8_t> out;
        if (b == Behaviour::NoiseFirst) out = {0x00, 0x55, 0x31, 0xFF, 0x10};
        out.insert(out.end(), {0xAA, 0xAA, 0xAA, 0x55});
        auto put = [&out](int v) {
            out.push_back(static_cast<std::uint8_t>(48 + (v >> 4)));
            out.push_back(static_cast<std::uint8_t>(48 + (v & 15)));
        };
        int len = static_cast<int>(data.size()) + 1;
        int sum = len + status;
        put(len);
        put(status);
        for (std::uint8_t d : data) {
            put(d);
            sum += d;
        }
        put(sum & 255);
        out.push_back(10);
        writeAll(out);
    }

    void serveText(const std::vector<std::uint8_t>& f) {
        std::vector<std::uint8_t> out = {31, 31};
        for (std::size_t i = 2; i + 2 < f.size(); ++i)
            out.push_back(static_cast<std::uint8_t>(std::toupper(f[i])));
        out.push_back('0');
        out.push_back(26);
        writeAll(out);
    }

    void writeAll(const std::vector<std::uint8_t>& out) {
        const std::size_t most = m_behaviour == Behaviour::Trickle ? 1 : out.size();
        std::size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::write(m_master, out.data() + done, std::min(most, out.size() - done));
            if (n > 0 && most == 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else {
                pollfd p{m_master, POLLOUT, 0};
                ::poll(&p, 1, 20);
            }
        }
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_name;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<Behaviour> m_behaviour{Behaviour::Answer};
    std::mutex m_mutex;
    std::vector<std::uint8_t> m_received;
};

class PtyLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(module.name().empty()) << "no pseudo-terminal";
        ::setenv("YUKT_COM1", module.name().c_str(), 1);
        ::setenv("YUKT_COM2", "/nonexistent/yukt-com2", 1);
        link.SetComIndex(0);
        link.SetSpeed(9600);
        link.OpenLink(true);
        ASSERT_TRUE(link.IsOpen()) << link.ErrorText;
        link.SetAddr(6);
    }
    void TearDown() override {
        ::unsetenv("YUKT_COM1");
        ::unsetenv("YUKT_COM2");
    }
    PtyModule module;
    Ttp6606 link;
};

TEST_F(PtyLink, IdentificationAndResetAsTheModuleBehaves) {
    struct Case {
        Behaviour behaviour;
        std::string ident;
        int reset;
        std::string resetError;
    } cases[] = {
        {Behaviour::Answer, "74500A01", 0, ""},
        {Behaviour::NoiseFirst, "74500A01", 0, ""},
        {Behaviour::Trickle, "74500A01", 0, ""},
        {Behaviour::Refuse, "", -3, "Модуль на линии не обнаружен"},
        {Behaviour::Silent, "?", -1, "Команда \"СБРОС\" не проходит"},
    };
    for (const Case& c : cases) {
        module.behave(c.behaviour);
        EXPECT_EQ(link.ReadIdent(), c.ident);
        link.ErrorText.clear();
        EXPECT_EQ(link.ResetModule(), c.reset);
        EXPECT_EQ(link.ErrorText, c.resetError);
    }
}

TEST_F(PtyLink, SilenceEndsAfterTheByteTimeOut) {
    module.behave(Behaviour::Silent);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(link.RecvByte(1), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, kByteTimeout - std::chrono::milliseconds(5));
}

TEST_F(PtyLink, RequestBytesReachTheLineAsSent) {
    link.SendCmd(1, 3, 7);
    module.behave(Behaviour::Silent);
    for (int i = 0; i < 50 && module.received().size() < 10; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(module.received(),
              (std::vector<std::uint8_t>{170, 170, 85, '0', '1', '3', '7', '3', '8', 10}));
}

TEST_F(PtyLink, TextFramesBothWays) {
    link.SendText("get 745t 2");
    std::string reply;
    for (int i = 0; i < 100 && reply.empty(); ++i) {
        reply = link.ReceiveText();
        if (reply.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(reply, "GET 745T 2");
}

TEST_F(PtyLink, PortIsExclusive) {
    Ttp6606 second;
    second.SetComIndex(0);
    second.OpenLink(true);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.ErrorText, "COM-порт занят");
    EXPECT_TRUE(ComPortExists(1));
    EXPECT_FALSE(ComPortExists(2));
    std::string error;
    EXPECT_EQ(OpenComPort(2, 4800, error), nullptr);
    EXPECT_EQ(error, "/nonexistent/yukt-com2: устройство не найдено");

    link.OpenLink(false);
    second.OpenLink(true);
    EXPECT_TRUE(second.IsOpen());
}

TEST(ComDevice, NamedByTheEnvironmentElseTtyS) {
    ::unsetenv("YUKT_COM3");
    EXPECT_EQ(ComDevicePath(3), "/dev/ttyS2");
    ::setenv("YUKT_COM3", "/dev/pts/9", 1);
    EXPECT_EQ(ComDevicePath(3), "/dev/pts/9");
    ::unsetenv("YUKT_COM3");
}

}  // namespace
}  // namespace yukt
