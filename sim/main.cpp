// yukt-bench: the simulated calibrator bench on a pseudo-terminal.
//
//   yukt-bench LINK [--module MODEL] [--address N] [--param N=VALUE]...
//              [--coef N=VALUE]... [--ident TEXT] [--second MODEL]
//              [--switch replace|verify] [--no-meter] [--wire] [--speed BAUD]
//              [--log FILE|-] [--control FILE] [--current-error MA]
//              [--current-error-ch N=MA]... [--rtd OHM]
//
// LINK becomes a symlink to the pseudo-terminal; point YUKT_COMn at it. The
// control file takes the commands of bench_control.h, one per line, appended
// while the bench runs ("echo 'switch verify' >> ctl").

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/program_version.h"
#include "link/trace_format.h"
#include "sim/bench.h"
#include "sim/bench_control.h"
#include "sim/pty_line.h"
#include "sim/trace_replay.h"

namespace {

using namespace yukt::sim;
struct Options {
    std::string link;
    std::string controlFile;
    std::string logFile;
    bool wire = false;
    int speed = 9600;
    std::vector<std::vector<std::string>> commands;
};

void usage(std::ostream& out = std::cerr) {
    out << "usage: yukt-bench LINK [--module MODEL] [--address N] [--param N=VALUE]...\n"
           "       [--coef N=VALUE]... [--ident TEXT] [--second MODEL]\n"
           "       [--switch replace|verify] [--no-meter] [--wire] [--speed BAUD]\n"
           "       [--log FILE|-] [--control FILE] [--current-error MA]\n"
           "       [--current-error-ch N=MA]... [--rtd OHM]\n"
           "       yukt-bench --replay TRACE ... (docs/trace.md)\n";
}

bool parseOptions(int argc, char** argv, Options& o) {
    std::vector<std::vector<std::string>> first, rest;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0) {
            if (!o.link.empty()) return false;
            o.link = a;
            continue;
        }
        a = a.substr(2);
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "no-meter") {
            first.push_back({"meter", "off"});
        } else if (a == "wire") {
            o.wire = true;
        } else if (a == "help") {
            return false;
        } else if (!value(v)) {
            return false;
        } else if (a == "speed") {
            o.speed = std::atoi(v.c_str());
            if (o.speed <= 0) return false;
        } else if (a == "log") {
            o.logFile = v;
        } else if (a == "control") {
            o.controlFile = v;
        } else if (a == "module" || a == "second") {
            // Plugged first, so that the FLASH options apply to the new module.
            first.push_back({a, v});
        } else {
            rest.push_back({a, v});
        }
    }
    o.commands = first;
    o.commands.insert(o.commands.end(), rest.begin(), rest.end());
    return !o.link.empty();
}

// Reads the lines appended to the control file since the last call.
class ControlFile {
  public:
    explicit ControlFile(std::string path) : m_path(std::move(path)) {}

    std::vector<std::string> newLines() {
        std::vector<std::string> lines;
        if (m_path.empty()) return lines;
        std::ifstream in(m_path, std::ios::binary);
        if (!in) return lines;
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size < m_offset) m_offset = 0;  // the file was truncated or replaced
        in.seekg(m_offset);
        std::string chunk(static_cast<std::size_t>(size - m_offset), '\0');
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        // Only whole lines; a line still being written waits for its end.
        const std::size_t lastEnd = chunk.rfind('\n');
        if (lastEnd == std::string::npos) return lines;
        m_offset += static_cast<std::streamoff>(lastEnd + 1);
        std::size_t start = 0;
        while (start <= lastEnd) {
            const std::size_t end = chunk.find('\n', start);
            lines.push_back(chunk.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    // Commands written before the bench started are not replayed.
    void skipExisting() {
        std::ifstream in(m_path, std::ios::binary | std::ios::ate);
        if (in) m_offset = in.tellg();
    }

  private:
    std::string m_path;
    std::streamoff m_offset = 0;
};

}  // namespace

int main(int argc, char** argv) {
    // First of all: a stop asked for while the bench is still starting ends
    // it cleanly once it serves, with its terminal and symlink removed.
    static std::atomic<bool> stop{false};
    std::signal(SIGINT, [](int) { stop = true; });
    std::signal(SIGTERM, [](int) { stop = true; });
    std::signal(SIGHUP, [](int) { stop = true; });
    std::signal(SIGPIPE, SIG_IGN);
    if (yukt::PrintVersionIfAsked(argc, argv, "yukt-bench")) return 0;
    if (argc == 2 && std::string(argv[1]) == "--help") {
        usage(std::cout);
        return 0;
    }
    if (ReplayAsked(argc, argv)) return ReplayMain(argc, argv, stop);
    Options opt;
    if (!parseOptions(argc, argv, opt)) {
        usage();
        return 2;
    }

    Bench bench;
    bench.clock().setMode(BenchClock::Mode::Real);
    bench.setLineSpeed(opt.speed);
    bench.installCalibrator(true);
    applyBenchCommand(bench, {"module", "745t"});
    for (const auto& words : opt.commands) {
        const std::string err = applyBenchCommand(bench, words);
        if (!err.empty()) {
            std::cerr << "yukt-bench: --" << words[0] << ": " << err << '\n';
            return 2;
        }
    }

    std::ofstream logFile;
    std::function<void(const std::string&)> log;
    if (opt.logFile == "-") {
        log = [](const std::string& l) { std::cerr << l << '\n'; };
    } else if (!opt.logFile.empty()) {
        logFile.open(opt.logFile, std::ios::app);
        if (!logFile) {
            std::cerr << "yukt-bench: cannot write " << opt.logFile << '\n';
            return 1;
        }
        log = [&logFile](const std::string& l) { logFile << l << std::endl; };
    }

    std::string error;
    std::unique_ptr<PtyLine> line = PtyLine::open(opt.link, error);
    if (!line) {
        std::cerr << "yukt-bench: " << error << '\n';
        return 1;
    }
    if (log) {
        // The log names itself as every trace does: who wrote it, and the
        // line it served (its speed and pseudo-terminal).
        const yukt::TraceLineSettings served{"bench", opt.speed, line->ptyName()};
        log(yukt::FormatTraceHeader("yukt-bench", yukt::ProgramVersion(), {&served, 1}));
        bench.setFrameLog(log);
    }

    ControlFile control(opt.controlFile);
    control.skipExisting();
    std::cout << "yukt-bench: " << opt.link << " -> " << line->ptyName() << '\n'
              << describeBench(bench) << std::flush;

    line->serve(bench, opt.wire, stop, [&] {
        for (const std::string& text : control.newLines()) {
            const std::vector<std::string> words = splitCommandLine(text);
            if (words.empty()) continue;
            const std::string err = applyBenchCommand(bench, words);
            std::cout << "> " << text << (err.empty() ? "" : "  -- " + err) << '\n';
            if (err.empty()) std::cout << describeBench(bench);
            std::cout << std::flush;
        }
    });
    return 0;
}
