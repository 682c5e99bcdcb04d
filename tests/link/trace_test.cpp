// The traffic trace of a known exchange with the in-process bench, line by
// line with the time stamps masked; the bench's own log beside it; a trace
// file that cannot be written.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/com_port.h"
#include "link/frame_trace.h"
#include "link/link_hooks.h"
#include "link/tp6606.h"
#include "link/trace_log.h"
#include "link/trace_reader.h"
#include "sim/bench.h"

namespace yukt {
namespace {

namespace fs = std::filesystem;
using sim::Fault;
using sim::FaultKind;

std::vector<std::string> fileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// The line without its time stamp; with `line` the line name goes too.
std::string masked(const std::string& l, bool line = false) {
    std::size_t from = l.find(' ') + 1;
    if (line) from = l.find(' ', from) + 1;
    return l.substr(from);
}

class Trace : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "yukt-trace-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
        SetWaitPumpHook([](int) {});
        bench.installCalibrator(false);
        bench.setInstantTimeouts(true);
        SetComPortOpener([this](int, int, std::string&) { return bench.connect(); });
        link.SetComIndex(0);
        link.OpenLink(true);
        ASSERT_TRUE(link.IsOpen());
    }
    void TearDown() override {
        StopTrace();
        link.OpenLink(false);
        SetComPortOpener(nullptr);
        SetWaitPumpHook(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string ident(int addr) {
        link.SetAddr(addr);
        return link.ReadIdent();
    }

    std::string dir;
    sim::Bench bench;
    Ttp6606 link;
};

TEST_F(Trace, KnownExchangeLineByLine) {
    const std::string path = dir + "t.trace";
    ASSERT_TRUE(StartTrace(path));
    std::vector<std::string> benchLog;
    bench.setFrameLog([&](const std::string& l) { benchLog.push_back(l); });

    EXPECT_EQ(ident(1), "87X01A10");
    EXPECT_EQ(ident(9), "?");
    bench.injectFault(Fault{FaultKind::Refuse, 2});
    EXPECT_EQ(ident(2), "");
    bench.injectFault(Fault{FaultKind::BadSum, 2});
    EXPECT_EQ(ident(2), "?");
    bench.injectFault(Fault{FaultKind::TornFrame, 2, 0, 1, 9});
    EXPECT_EQ(ident(2), "?");
    bench.injectFault(Fault{FaultKind::Noise, 2, 0, 1, 5000});
    EXPECT_EQ(ident(2), "?");
    link.SendText("Ёж \"я\"");
    StopTrace();

    const std::string ask2 =
        "COM1 -> AA AA 55 30 31 32 37 32 38 0A | LEN 01 HDR 27 (addr 2 cmd 7) data - SUM 28";
    const std::vector<std::string> expected = {
        "COM1 -> AA AA 55 30 31 31 37 31 38 0A | LEN 01 HDR 17 (addr 1 cmd 7) data - SUM 18",
        "COM1 <- AA AA 55 30 39 31 38 33 38 33 37 35 38 33 30 33 31 34 31 33 31 33 30 3E 3B 0A | "
        "LEN 09 HDR 18 (addr 1 accepted) data 38 37 58 30 31 41 31 30 SUM EB",
        "COM1 -> AA AA 55 30 31 39 37 39 38 0A | LEN 01 HDR 97 (addr 9 cmd 7) data - SUM 98",
        "COM1 <- - | no reply",
        ask2,
        "COM1 <- AA AA 55 30 39 32 30 33 38 33 38 35 34 33 30 33 31 34 31 33 31 33 30 3F 30 0A | "
        "LEN 09 HDR 20 (addr 2 refused) data 38 38 54 30 31 41 31 30 SUM F0",
        ask2,
        // The receiver stops at the wrong sum; the LF left behind is dropped
        // (and counted) before the next request goes out.
        "COM1 <- AA AA 55 30 39 32 38 33 38 33 38 35 34 33 30 33 31 34 31 33 31 33 30 3F 39 | "
        "rejected: bad checksum",
        "COM1 == dropped 1 late byte",
        ask2,
        "COM1 <- AA AA 55 30 39 32 38 33 38 | rejected: stall",
        ask2,
        "",  // babble, below
        "COM1 -> 1F 1F A8 E6 20 22 FF 22 31 1A | text \"Ёж \\\"я\\\"\" check 31",
    };
    std::vector<std::string> got = fileLines(path);
    // The first line names the format, the program and the line's settings.
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].rfind("# yukt-trace 2 link_tests ", 0), 0u) << got[0];
    EXPECT_NE(got[0].find(" COM1=" + std::to_string(link.Speed()) + ",/dev/ttyS0"), std::string::npos)
        << got[0];
    got.erase(got.begin());
    ASSERT_EQ(got.size(), expected.size());
    std::uint64_t last = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::uint64_t stamp = std::stoull(got[i]);
        EXPECT_GE(stamp, last) << i;
        last = stamp;
        if (i == 12) {
            // 4097 noise bytes: the first 300 and how many more.
            EXPECT_EQ(masked(got[i]).rfind("COM1 <- 4E 6F 69 73 65 21 3F 07 4E", 0), 0u);
            EXPECT_NE(got[i].find(" ... +3797 | rejected: babble"), std::string::npos);
            continue;
        }
        EXPECT_EQ(masked(got[i]), expected[i]) << i;
    }

    // The bench's log of the same exchange reads the same wherever both saw
    // the same bytes: every request, the good and the refused reply.
    got.erase(got.begin() + 8);  // the dropped LF is the host's business
    ASSERT_EQ(benchLog.size(), got.size());
    for (std::size_t i : {0, 1, 2, 4, 6, 8, 10, 12})
        EXPECT_EQ(masked(benchLog[i], true), masked(got[i], true)) << i;
    EXPECT_EQ(masked(benchLog[3], true), "== nobody at 9");
    EXPECT_EQ(masked(benchLog[5], true), masked(got[5], true) + " [fault]");
}

// A line whose speed changes after the first line gets a settings note; a
// new file starts with its own first line.
TEST_F(Trace, SettingsMetAfterTheFirstLineAreNoted) {
    const std::string path = dir + "s.trace";
    ASSERT_TRUE(StartTrace(path));
    ident(1);
    link.SetSpeed(link.Speed() == 9600 ? 19200 : 9600);
    ident(1);
    ident(1);
    ASSERT_TRUE(StartTrace(dir + "t.trace"));
    ident(1);
    StopTrace();
    const std::vector<std::string> got = fileLines(path);
    ASSERT_EQ(got.size(), 1u + 2 + 1 + 4);
    EXPECT_EQ(masked(got[3]), "COM1 == settings " + std::to_string(link.Speed()) + " /dev/ttyS0");
    const std::vector<std::string> next = fileLines(dir + "t.trace");
    ASSERT_EQ(next.size(), 3u);
    EXPECT_NE(next[0].find(" COM1=" + std::to_string(link.Speed()) + ",/dev/ttyS0"), std::string::npos)
        << next[0];
}

// Requests sent while a FreeRequests lives are marked free, their replies
// and the requests before and after it are not; the reader takes the mark.
TEST_F(Trace, RepeatedWaitPollsAreMarkedFree) {
    const std::string path = dir + "f.trace";
    ASSERT_TRUE(StartTrace(path));
    ident(1);
    {
        const FreeRequests poll;
        ident(1);
        const FreeRequests nested;
        ident(9);
    }
    const FreeRequests off(false);
    ident(1);
    StopTrace();
    std::ifstream in(path);
    TraceReader reader(in, path);
    std::vector<bool> free;
    for (TraceRecord r; reader.next(r);)
        if (r.kind == TraceRecord::Kind::Frame) free.push_back(r.free);
    EXPECT_EQ(reader.error(), "");
    EXPECT_EQ(free, (std::vector<bool>{false, false, true, false, true, false, false, false}));
    EXPECT_NE(fileLines(path)[3].find("SUM 18 [free]"), std::string::npos) << fileLines(path)[3];
}

// Only a regular file (or a new one) is a trace: a FIFO would hold the
// program at its start and kill it when its reader goes. A write that fails
// later (the file may grow no further) stops the trace the same way.
TEST_F(Trace, UnwritableFileGivesOneErrorAndTheExchangeGoesOn) {
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    struct Case {
        std::string path;
        bool opens;
        std::string error;
        rlim_t sizeLimit = RLIM_INFINITY;
    };
    const std::string prefix = "Трасса обмена не пишется: ";
    const Case cases[] = {
        {dir + "missing/t.trace", false,
         prefix + dir + "missing/t.trace: нет такого файла или каталога"},
        {"/dev/full", false, prefix + "/dev/full: это устройство"},
        {dir + "fifo", false, prefix + dir + "fifo: это именованный канал (FIFO)"},
        {dir + "small.trace", true, prefix + dir + "small.trace: файл слишком большой", 1024},
    };
    // The limit holds for every file, captured stderr too: the trace starts
    // near it, the message stays far below.
    std::ofstream(dir + "small.trace") << std::string(999, '#') << '\n';
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = c.sizeLimit;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(StartTrace(c.path), c.opens) << c.path;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(ident(1), "87X01A10") << c.path;
        StopTrace();
        for (int i = 0; i < 2; ++i) EXPECT_EQ(ident(1), "87X01A10") << c.path;
        const std::string err = ::testing::internal::GetCapturedStderr();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(TraceError(), c.error);
        EXPECT_EQ(err, c.error + "\n");
        EXPECT_FALSE(TraceOn());
    }
    std::signal(SIGXFSZ, SIG_DFL);
}

}  // namespace
}  // namespace yukt
