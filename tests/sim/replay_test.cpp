// yukt-bench --replay as a program run against its own recording: over the
// pseudo-terminal and as a device server, through the link's own ports.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "link/com_port.h"
#include "link/tcp_transport.h"
#include "link/trace_format.h"
#include "link/trace_reader.h"
#include "raw_line.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using simtest::Bytes;
using simtest::requestFrame;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A recorded exchange: the request, and the reply (empty: no reply) after
// `ms`; a free request is marked so.
struct Step {
    Bytes request;
    Bytes reply;
    int ms = 5;
    bool free = false;
};

std::string traceOf(const std::vector<Step>& steps) {
    std::string out = "# yukt-trace 2 yukt-console 1.0 COM1=9600,/dev/ttyS0\n";
    std::uint64_t t = 1000000;
    for (const Step& s : steps) {
        out += yukt::FormatTraceLine(t, "COM1", yukt::TraceDir::Sent, s.request) +
               (s.free ? std::string(yukt::kTraceFreeMark) : "") + '\n';
        t += static_cast<std::uint64_t>(s.ms) * 1000;
        out += yukt::FormatTraceLine(t, "COM1", yukt::TraceDir::Received, s.reply) + '\n';
        t += 20000;
    }
    return out;
}

const Bytes kIdent = requestFrame(1, 7);
const Bytes kPoll = requestFrame(6, 1);
const Bytes kOther = requestFrame(9, 7);
const Bytes kIdentReply = text("\xAA\xAA\x55" "0918383735830314131313" "0>;\n");
const Bytes kPollReply = text("\xAA\xAA\x55" "0268" "30" "8\n");

class Replay : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/replay_testXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = std::string(tmpl) + "/";
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Starts the replay of `trace`; with `tcp` as a device server.
    void start(const std::string& trace, std::vector<std::string> args, bool tcp = false) {
        std::ofstream(dir + "t.trace", std::ios::binary) << trace;
        fs::remove(dir + "out");
        fs::remove(dir + "com1");
        status = -1;
        const std::string program = std::string(YUKT_BIN_DIR) + "/yukt-bench";
        std::vector<std::string> all{program, "--replay", dir + "t.trace", "--linger", "0.2"};
        all.insert(all.end(), args.begin(), args.end());
        if (tcp) {
            all.push_back("--tcp");
            all.push_back("0");
        } else {
            all.push_back(dir + "com1");
        }
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            freopen((dir + "out").c_str(), "w", stdout);
            freopen((dir + "err").c_str(), "w", stderr);
            std::vector<char*> argv;
            for (std::string& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (tcp ? slurp(dir + "out").find("tcp ") != std::string::npos : fs::is_symlink(dir + "com1"))
                break;
            // A replay that refused its trace is over at once.
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    std::unique_ptr<yukt::ByteTransport> connect(const std::string& scheme = "") {
        std::string error;
        if (scheme.empty()) return yukt::OpenSerialDevice(dir + "com1", 9600, error);
        const std::string out = slurp(dir + "out");
        const std::string address = out.substr(out.find("tcp ") + 4);
        auto port = yukt::OpenNetworkPort(scheme + "://" + address.substr(0, address.find('\n')),
                                          9600, error);
        EXPECT_TRUE(port) << error;
        return port;
    }

    static Bytes exchange(yukt::ByteTransport& port, const Bytes& request, std::size_t expect,
                          std::chrono::milliseconds wait = 2000ms) {
        port.writeAll(request.data(), request.size(), 1000ms);
        Bytes got;
        while (got.size() < expect) {
            const int b = port.readByte(got.empty() ? wait : 300ms);
            if (b < 0) break;
            got.push_back(static_cast<std::uint8_t>(b));
        }
        return got;
    }

    int finish() {
        if (pid > 0) waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir;
    pid_t pid = -1;
    int status = -1;
};

TEST_F(Replay, PlaysTheRecordingToItsEnd) {
    start(traceOf({{kIdent, kIdentReply}, {kOther, {}, 300}, {kPoll, kPollReply}}),
          {"--as-fast-as-possible"});
    auto port = connect();
    ASSERT_TRUE(port);
    EXPECT_EQ(exchange(*port, kIdent, kIdentReply.size()), kIdentReply);
    EXPECT_EQ(exchange(*port, kOther, 1, 400ms), Bytes{});  // silence, as recorded
    EXPECT_EQ(exchange(*port, kPoll, kPollReply.size()), kPollReply);
    EXPECT_EQ(finish(), 0) << slurp(dir + "err");
    EXPECT_NE(slurp(dir + "out").find("запись проиграна до конца: 3 запросов по COM1"),
              std::string::npos);
}

// The report names the request's line in the trace, the first differing
// byte, and both requests as the trace decodes them.
TEST_F(Replay, ADifferingRequestIsReportedAtItsLine) {
    start(traceOf({{kIdent, kIdentReply}, {kPoll, kPollReply}}), {"--as-fast-as-possible"});
    auto port = connect();
    ASSERT_TRUE(port);
    EXPECT_EQ(exchange(*port, kIdent, kIdentReply.size()), kIdentReply);
    exchange(*port, kOther, 1, 300ms);
    EXPECT_EQ(finish(), 3);
    const std::string err = slurp(dir + "err");
    // Line 4: header, request, reply, then the poll; HDR 61 against 97 differs at byte 6.
    EXPECT_NE(err.find("t.trace, строка 4: запрос отличается от записанного с байта 6\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("  записан: AA AA 55 30 31 36 31 36 32 0A | LEN 01 HDR 61 (addr 6 cmd 1) "
                       "data - SUM 62\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("  получен: AA AA 55 30 31 39 37 39 38 0A | LEN 01 HDR 97 (addr 9 cmd 7) "
                       "data - SUM 98"),
              std::string::npos)
        << err;
}

TEST_F(Replay, ARequestAfterTheEnd) {
    start(traceOf({{kIdent, kIdentReply}}), {"--as-fast-as-possible", "--linger", "5"});
    auto port = connect();
    ASSERT_TRUE(port);
    EXPECT_EQ(exchange(*port, kIdent, kIdentReply.size()), kIdentReply);
    exchange(*port, kPoll, 1, 300ms);
    EXPECT_EQ(finish(), 4);
    EXPECT_NE(slurp(dir + "err").find("запрос после конца записи (последняя строка трассы 3)"),
              std::string::npos)
        << slurp(dir + "err");
}

// Three polls recorded in a row: within --slack 1 the program may poll two
// to four times; outside it, or without slack, the count must be the same.
TEST_F(Replay, SlackLetsARunOfIdenticalExchangesRepeatMoreOrLess) {
    struct Case {
        int slack;
        int polls;
        int exitCode;
    };
    for (const Case& c : {Case{1, 2, 0}, Case{1, 4, 0}, Case{1, 3, 0}, Case{0, 2, 3},
                          Case{0, 4, 3}, Case{1, 5, 3}, Case{2, 1, 0}}) {
        SCOPED_TRACE(testing::Message() << "slack " << c.slack << ", polls " << c.polls);
        start(traceOf({{kIdent, kIdentReply}, {kPoll, kPollReply}, {kPoll, kPollReply},
                       {kPoll, kPollReply}, {kOther, {}, 300}}),
              {"--as-fast-as-possible", "--slack", std::to_string(c.slack)});
        auto port = connect();
        ASSERT_TRUE(port);
        exchange(*port, kIdent, kIdentReply.size());
        for (int i = 0; i < c.polls; ++i) exchange(*port, kPoll, kPollReply.size(), 300ms);
        exchange(*port, kOther, 1, 300ms);
        EXPECT_EQ(finish(), c.exitCode) << slurp(dir + "err");
    }
}

// Polls marked free may come any number of times, none included, each
// answered as recorded (the last one again once the recorded ones are
// used); the runs that are not free keep the slack rule around them.
TEST_F(Replay, FreeRequestsRepeatAnyNumberOfTimes) {
    const Bytes kPollReply2 = text("\xAA\xAA\x55" "0268" "31" "9\n");
    const Bytes kPollOf4 = requestFrame(4, 1);
    // Recorded steps, and the exchanges expected of them (a request with no
    // reply: the replay refused it).
    const Step ident{kIdent, kIdentReply}, other{kOther, kIdentReply};
    const Step free1{kPoll, kPollReply, 5, true}, free2{kPoll, kPollReply2, 5, true};
    const Step free4{kPollOf4, kPollReply2, 5, true};
    const Step poll1{kPoll, kPollReply}, poll2{kPoll, kPollReply2};
    const Step refusedPoll{kPoll, {}}, refusedIdent{kIdent, {}}, refusedOther{kOther, {}};
    struct Case {
        const char* what;
        std::vector<Step> recorded;
        int slack;
        std::vector<Step> exchanged;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"free polls as recorded", {ident, free1, free2, other}, 0,
         {ident, poll1, poll2, other}, 0},
        {"none of them", {ident, free1, free2, other}, 0, {ident, other}, 0},
        {"more than recorded", {ident, free1, free2, other}, 0,
         {ident, poll1, poll2, poll2, poll2, other}, 0},
        {"at the start and at the end", {free1, ident, free2}, 0, {ident}, 0},
        {"a request that is not free still counts", {ident, free1, other}, 0,
         {ident, poll1, refusedIdent}, 3},
        {"slack around free polls", {ident, ident, free1, other, other}, 1,
         {ident, poll1, poll1, other}, 0},
        {"no slack: the count holds", {ident, ident, free1, other}, 0, {ident, refusedPoll}, 3},
        {"the same polls unmarked keep their count", {ident, poll1, other}, 0,
         {ident, poll1, refusedPoll}, 3},
        {"a poll like the free ones just before it is one of them", {ident, free1, poll2, other},
         0, {ident, poll1, poll2, poll2, other}, 0},
        {"free polls of two modules in turn, more rounds than recorded",
         {ident, free1, free4, other}, 0, {ident, poll1, free4, poll1, free4, poll1, free4, other},
         0},
        {"another request in between: the poll counts again", {free1, ident, poll2, other}, 0,
         {ident, refusedOther}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(traceOf(c.recorded), {"--as-fast-as-possible", "--slack", std::to_string(c.slack)});
        auto port = connect();
        ASSERT_TRUE(port);
        for (std::size_t i = 0; i < c.exchanged.size(); ++i) {
            const Step& e = c.exchanged[i];
            EXPECT_EQ(exchange(*port, e.request, std::max<std::size_t>(e.reply.size(), 1), 300ms),
                      e.reply)
                << "request " << i + 1;
        }
        EXPECT_EQ(finish(), c.exitCode) << slurp(dir + "err");
    }
}

// The bench's own log names itself as a trace does; the reader takes it,
// and the replay refuses it as the device side.
TEST_F(Replay, TheBenchLogHasTheFirstLine) {
    const std::string program = std::string(YUKT_BIN_DIR) + "/yukt-bench";
    const std::string log = dir + "bench.log";
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        freopen((dir + "out").c_str(), "w", stdout);
        execl(program.c_str(), program.c_str(), (dir + "com1").c_str(), "--log", log.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 500 && !fs::is_symlink(dir + "com1"); ++i) std::this_thread::sleep_for(10ms);
    {
        auto port = connect();
        ASSERT_TRUE(port);
        EXPECT_FALSE(exchange(*port, requestFrame(1, 7), 26).empty());
    }
    kill(pid, SIGTERM);
    finish();
    std::ifstream in(log);
    yukt::TraceReader reader(in, log);
    yukt::TraceRecord r;
    ASSERT_TRUE(reader.next(r)) << reader.error();
    ASSERT_EQ(r.kind, yukt::TraceRecord::Kind::Header);
    EXPECT_EQ(r.header.program, "yukt-bench");
    ASSERT_EQ(r.header.lines.size(), 1u);
    EXPECT_EQ(r.header.lines[0].line, "bench");
    EXPECT_EQ(r.header.lines[0].baud, 9600);
    EXPECT_EQ(r.header.lines[0].device.rfind("/dev/pts/", 0), 0u) << r.header.lines[0].device;
    ASSERT_TRUE(reader.next(r)) << reader.error();
    EXPECT_EQ(r.line, "bench");
    EXPECT_EQ(r.decoding, "LEN 01 HDR 17 (addr 1 cmd 7) data - SUM 18");
    while (reader.next(r)) {
    }
    EXPECT_EQ(reader.error(), "");
    start(slurp(log), {});
    EXPECT_EQ(finish(), 2);
    EXPECT_NE(slurp(dir + "err").find("это журнал стенда"), std::string::npos) << slurp(dir + "err");
}

// The reply keeps its recorded delay, scaled by --speed.
TEST_F(Replay, RepliesKeepTheirRecordedDelay) {
    start(traceOf({{kIdent, kIdentReply, 250}, {kPoll, kPollReply, 250}}), {"--speed", "0.5"});
    auto port = connect();
    ASSERT_TRUE(port);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(*port, kIdent, kIdentReply.size()), kIdentReply);
    // 250 ms at half speed: never sooner than 500 ms (the upper bound is the benchmark's).
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 500ms);
    EXPECT_EQ(exchange(*port, kPoll, kPollReply.size()), kPollReply);
    EXPECT_EQ(finish(), 0) << slurp(dir + "err");
}

// As a device server, raw and with COM Port Control, through the link's
// own network port; a client that drops and comes back goes on where it was.
TEST_F(Replay, OverADeviceServer) {
    for (const std::string scheme : {"tcp", "rfc2217"}) {
        SCOPED_TRACE(scheme);
        const Bytes ff{0xAA, 0xFF, 0x0A, 0xFF};  // IAC in line data: doubled on the wire
        start(traceOf({{kIdent, kIdentReply}, {kPoll, ff}, {kOther, kPollReply}}),
              {"--as-fast-as-possible"}, true);
        {
            auto port = connect(scheme);
            ASSERT_TRUE(port);
            EXPECT_EQ(exchange(*port, kIdent, kIdentReply.size()), kIdentReply);
        }
        auto port = connect(scheme);
        ASSERT_TRUE(port);
        EXPECT_EQ(exchange(*port, kPoll, ff.size()), ff);
        EXPECT_EQ(exchange(*port, kOther, kPollReply.size()), kPollReply);
        EXPECT_EQ(finish(), 0) << slurp(dir + "err");
    }
}

// A line lost behind a device server (a "no reply" at once): the replay
// drops the connection at the first such request and expects none of the
// rest; the program connects again and goes on.
TEST_F(Replay, ALostLineIsADroppedConnection) {
    start(traceOf({{kIdent, kIdentReply}, {kPoll, {}, 0}, {kOther, {}, 0}, {kOther, {}, 0},
                   {kIdent, kIdentReply}}),
          {"--as-fast-as-possible"}, true);
    auto port = connect("tcp");
    ASSERT_TRUE(port);
    EXPECT_EQ(exchange(*port, kIdent, kIdentReply.size()), kIdentReply);
    EXPECT_EQ(exchange(*port, kPoll, 1, 1000ms), Bytes{});
    EXPECT_TRUE(port->lost());
    port = connect("tcp");
    ASSERT_TRUE(port);
    EXPECT_EQ(exchange(*port, kIdent, kIdentReply.size()), kIdentReply);
    EXPECT_EQ(finish(), 0) << slurp(dir + "err");
}

TEST_F(Replay, ATraceThatDoesNotReadIsRefusedWithItsLine) {
    const std::string good = traceOf({{kIdent, kIdentReply}});
    struct Case {
        std::string trace;
        std::string message;
    };
    for (const Case& c : {
             Case{"[Settings]\nport=1\n", "t.trace, строка 1: не трасса обмена: не строка трассы: [Settings]"},
             Case{good.substr(0, good.size() - 5), "t.trace, строка 3: строка оборвана"},
             Case{"# yukt-trace 3 yukt-console 9.0\n" + good.substr(good.find('\n') + 1),
                  "t.trace, строка 1: трасса формата версии 3, читаются версии 1..2"},
             Case{good + "1 COM1 -> AA GG | x\n", "t.trace, строка 4: не байт в шестнадцатеричном виде: GG"},
             Case{"", "t.trace: не трасса обмена: в файле нет ни одной строки трассы"},
         }) {
        SCOPED_TRACE(c.message);
        start(c.trace, {});
        EXPECT_EQ(finish(), 2);
        EXPECT_NE(slurp(dir + "err").find(c.message), std::string::npos) << slurp(dir + "err");
    }
    start(good, {"--line", "COM2"});
    EXPECT_EQ(finish(), 2);
    EXPECT_NE(slurp(dir + "err").find("в трассе нет запросов по линии COM2 (есть: COM1)"),
              std::string::npos);
}

}  // namespace
