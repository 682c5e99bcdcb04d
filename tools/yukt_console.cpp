// yukt-console: the command console of the instrument.
//
//   yukt-console --cfg DIR [--tick MS] [--poll] [--trace FILE] [--give-up N]
//
// Opens the instrument over the configuration directory DIR, reads command
// lines ("Get 745t 2", "Set 787x 1 12 6" ...) from standard input, hands
// them over one at a time and prints every reply line exactly as it arrives.
// --tick sets the poll interval (default 170 ms); --poll runs poll cycles
// between the commands (otherwise the instrument stays paused and only the
// commands produce replies). COM n is the device named by YUKT_COMn.
// --trace FILE appends every frame on the lines to FILE (docs/trace.md), as
// YUKT_TRACE=FILE does; a file that cannot be written is reported once and
// the console goes on without it.
// A line on which N commands in a row (--give-up, default 3) got no reply is
// given up: the commands for its modules are answered "MODEL N Err 5" at
// once, one a second still tried, until a reply comes from it again.
//
// Exit codes: 0 at the end of input, 1 on a fatal configuration error, 2
// when the instrument cannot be opened or the arguments are wrong; SIGINT,
// SIGTERM or SIGHUP end it at once with the trace written out, 128 + the
// signal's number (130, 143, 129) as a shell reports a killed program.

#include <pthread.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "common/cp1251.h"
#include "common/program_version.h"
#include "instrument/cprbr.h"
#include "instrument/line_check.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "link/trace_log.h"

namespace {

using namespace yukt;

struct Options {
    std::string cfg;
    int tickMs = 170;
    bool poll = false;
    std::string trace;
    int giveUp = 3;
};

void usage() {
    std::cerr << "usage: yukt-console --cfg DIR [--tick MS] [--poll] [--trace FILE] [--give-up N]\n";
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--poll") {
            o.poll = true;
        } else if (a == "--trace" && i + 1 < argc) {
            o.trace = argv[++i];
        } else if (a == "--cfg" && i + 1 < argc) {
            o.cfg = argv[++i];
        } else if (a == "--give-up" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > 1000) return false;
            o.giveUp = static_cast<int>(n);
        } else if (a == "--tick" && i + 1 < argc) {
            char* end = nullptr;
            const long ms = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || ms <= 0 || ms > 3600000) return false;
            o.tickMs = static_cast<int>(ms);
        } else {
            return false;
        }
    }
    return !o.cfg.empty();
}

// Why the opened instrument cannot serve commands; empty when it can.
std::string openProblem(const TcPrbr& prbr, const std::string& cfgDir) {
    const ModuleSet& set = TheModuleSet();
    if (!prbr.OpenPribor()) {
        if (!FileExists(prbr.PathCfg() + "tp6606.cfg"))
            return "no tp6606.cfg in " + cfgDir + ": the instrument does not start";
        return "the link configuration of " + cfgDir + " cannot be used";
    }
    const LinkTable& links = set.Context().Links;
    for (int i = 1; i <= 4; ++i) {
        const Ttp6606* link = links.Entry(i);
        if (link != nullptr && !link->IsOpen()) {
            const std::string what = link->ErrorText.empty() ? "not open" : link->ErrorMessage();
            return "link " + std::to_string(i) + ": " + what;
        }
    }
    if (!set.AnyReplyModule())
        return "no module in " + cfgDir +
               " reports to the instrument (Link 23): commands would never be served";
    return "";
}

// Installed before anything else, so that no moment of the start is left
// to the default action. A trace reader that goes away (a pipe) makes a
// write fail, not the program die.
void watchStopSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::thread([stop] {
        int sig = 0;
        sigwait(&stop, &sig);
        // The trace holds the last half second of lines in memory.
        StopTrace();
        std::fflush(stdout);
        std::_Exit(128 + sig);
    }).detach();
}

// Which lines answer. The worker notes every reply of a line; the main
// thread counts the commands that got none.
class LineSilence {
  public:
    explicit LineSilence(int giveUp) : m_giveUp(giveUp) {}

    // Worker thread, from OnGet.
    void Reply(const std::string& line) {
        std::istringstream in(line);
        std::string model, number;
        in >> model >> number;
        const int link = LinkOfModule(TheModuleSet(), model, std::atoi(number.c_str()));
        if (link < 1 || link > 4 || ReplyIsLineFault(TheModuleSet(), line)) return;
        std::lock_guard<std::mutex> guard(m_lock);
        m_answered[link] = true;
    }

    // Main thread. The link a command goes to, 0 for none (it is served
    // whatever happens).
    static int LinkOf(const std::string& command) {
        std::istringstream in(command);
        std::string verb, model, number;
        in >> verb >> model >> number;
        for (char& c : model) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return LinkOfModule(TheModuleSet(), model, std::atoi(number.c_str()));
    }
    // Whether a command for `link` is to be answered at once.
    bool GivenUp(int link, std::chrono::steady_clock::time_point now) {
        if (link < 1 || link > 4 || m_silent[link] < m_giveUp) return false;
        // One command a second still goes, to see the line come back.
        if (now >= m_nextTry[link]) {
            m_nextTry[link] = now + std::chrono::seconds(1);
            return false;
        }
        return true;
    }
    void Sending(int link) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (link >= 1 && link <= 4) m_answered[link] = false;
    }
    // After the command was consumed.
    void Done(int link) {
        if (link < 1 || link > 4) return;
        bool answered;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            answered = m_answered[link];
        }
        if (answered) {
            if (m_silent[link] >= m_giveUp)
                std::fprintf(stderr, "yukt-console: линия %d снова отвечает\n", link);
            m_silent[link] = 0;
            return;
        }
        if (++m_silent[link] == m_giveUp) {
            std::fprintf(stderr,
                         "yukt-console: линия %d: %d команд подряд без ответа, команды на неё "
                         "отвечены Err до первого ответа\n",
                         link, m_giveUp);
            m_nextTry[link] = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        }
    }

  private:
    const int m_giveUp;
    std::mutex m_lock;
    bool m_answered[5] = {};  // guarded by m_lock
    int m_silent[5] = {};
    std::chrono::steady_clock::time_point m_nextTry[5] = {};
};

// "MODEL N Err 5", the reply of a failed exchange, for a command not sent.
std::string failedReply(const std::string& command) {
    std::istringstream in(command);
    std::string verb, model, number;
    in >> verb >> model >> number;
    for (char& c : model) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return model + " " + number + " Err 5\n";
}

bool blankLine(const std::string& line) {
    for (unsigned char c : line)
        if (c > ' ') return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    watchStopSignals();
    if (yukt::PrintVersionIfAsked(argc, argv, "yukt-console")) return 0;
    Options opt;
    if (!parseOptions(argc, argv, opt)) {
        usage();
        return 2;
    }

    // The error of an unwritable file goes to stderr once, inside StartTrace.
    if (!opt.trace.empty()) StartTrace(opt.trace);

    // The operator hears once that a line went away and once that it is back.
    SetLineStateHook([](int com, bool lost) {
        std::fprintf(stderr, "yukt-console: COM %d (%s): %s\n", com, ComDevicePath(com).c_str(),
                     lost ? "линия потеряна, порт закрыт" : "порт снова открыт");
    });

    std::mutex lock;
    std::condition_variable consumed;
    bool commandDone = false;

    LineSilence silence(opt.giveUp);
    auto prbr = std::make_unique<TcPrbr>();
    prbr->SetOnGet([&silence](TcPrbr& sender) {
        silence.Reply(sender.sGet());
        const std::string line = sender.sGet() + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    });
    prbr->SetOnSet([&](TcPrbr&) {
        std::lock_guard<std::mutex> guard(lock);
        commandDone = true;
        consumed.notify_all();
    });
    prbr->SetMinTime(opt.tickMs);
    prbr->SetPathCfg(opt.cfg);
    prbr->SetOpenPribor(true);
    prbr->SetPauze(!opt.poll);

    const std::string problem = openProblem(*prbr, opt.cfg);
    if (!problem.empty()) {
        std::cerr << "yukt-console: " << problem << '\n';
        return 2;
    }

    std::string line;
    while (std::getline(std::cin, line)) {
        // A blank command would never be consumed.
        if (blankLine(line)) continue;
        const int link = LineSilence::LinkOf(line);
        if (silence.GivenUp(link, std::chrono::steady_clock::now())) {
            const std::string reply = failedReply(line);
            std::fwrite(reply.data(), 1, reply.size(), stdout);
            std::fflush(stdout);
            continue;
        }
        silence.Sending(link);
        {
            std::unique_lock<std::mutex> guard(lock);
            commandDone = false;
            prbr->SetsSet(line);
            consumed.wait(guard, [&] { return commandDone; });
        }
        silence.Done(link);
    }

    prbr.reset();
    StopTrace();
    return 0;
}
