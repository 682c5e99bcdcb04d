// yukt-bench: the simulated calibrator bench on a pseudo-terminal.
//
//   yukt-bench LINK [--module MODEL] [--address N] [--param N=VALUE]...
//              [--coef N=VALUE]... [--ident TEXT] [--second MODEL]
//              [--switch replace|verify] [--no-meter] [--wire] [--speed BAUD]
//              [--log FILE|-] [--control FILE] [--current-error MA] [--rtd OHM]
//
// LINK becomes a symlink to the pseudo-terminal; point YUKT_COMn at it. The
// control file takes the commands of bench_control.h, one per line, appended
// while the bench runs ("echo 'switch verify' >> ctl").

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/bench.h"
#include "sim/bench_control.h"

namespace {

using namespace yukt::sim;
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

// How often the control file is looked at while the line is quiet.
constexpr int kPollMs = 100;

struct Options {
    std::string link;
    std::string controlFile;
    std::string logFile;
    bool wire = false;
    int speed = 9600;
    std::vector<std::vector<std::string>> commands;
};

void usage() {
    std::cerr << "usage: yukt-bench LINK [--module MODEL] [--address N] [--param N=VALUE]...\n"
                 "       [--coef N=VALUE]... [--ident TEXT] [--second MODEL]\n"
                 "       [--switch replace|verify] [--no-meter] [--wire] [--speed BAUD]\n"
                 "       [--log FILE|-] [--control FILE] [--current-error MA] [--rtd OHM]\n";
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

bool makeLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::cerr << "yukt-bench: " << link << " exists and is not a symlink\n";
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::cerr << "yukt-bench: cannot create " << link << ": " << std::strerror(errno) << '\n';
        return false;
    }
    return true;
}

void removeLink(const std::string& link, const std::string& target) {
    char buf[512];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) unlink(link.c_str());
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
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
    if (opt.logFile == "-") {
        bench.setFrameLog([](const std::string& l) { std::cerr << l << '\n'; });
    } else if (!opt.logFile.empty()) {
        logFile.open(opt.logFile, std::ios::app);
        if (!logFile) {
            std::cerr << "yukt-bench: cannot write " << opt.logFile << '\n';
            return 1;
        }
        bench.setFrameLog([&logFile](const std::string& l) { logFile << l << std::endl; });
    }

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::cerr << "yukt-bench: openpty: " << std::strerror(errno) << '\n';
        return 1;
    }
    // Raw bytes both ways: no line editing, no CR/LF translation, no echo.
    termios tio {};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    // The slave stays open here so that the master survives the workstation
    // closing and reopening the port.
    const std::string ptyName = name;
    if (!makeLink(opt.link, ptyName)) return 1;

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

    ControlFile control(opt.controlFile);
    control.skipExisting();
    std::cout << "yukt-bench: " << opt.link << " -> " << ptyName << '\n'
              << describeBench(bench) << std::flush;

    std::unique_ptr<HostPort> port = bench.openPort();
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(bench.byteSeconds()));
    Clock::time_point lineFreeAt = Clock::now();

    while (!g_stop) {
        pollfd pfd{master, POLLIN, 0};
        const int ready = poll(&pfd, 1, kPollMs);
        if (ready < 0 && errno != EINTR) break;

        for (const std::string& line : control.newLines()) {
            const std::vector<std::string> words = splitCommandLine(line);
            if (words.empty()) continue;
            const std::string err = applyBenchCommand(bench, words);
            std::cout << "> " << line << (err.empty() ? "" : "  -- " + err) << '\n';
            if (err.empty()) std::cout << describeBench(bench);
            std::cout << std::flush;
        }

        std::vector<std::uint8_t> out = port->takeUnasked();
        if (ready > 0 && (pfd.revents & POLLIN)) {
            std::uint8_t buf[256];
            const ssize_t n = read(master, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                if (opt.wire) lineFreeAt = std::max(Clock::now(), lineFreeAt) + byteTime;
                const std::vector<std::uint8_t> reply = port->feed(buf[i]);
                out.insert(out.end(), reply.begin(), reply.end());
            }
        }
        if (out.empty()) continue;
        if (!opt.wire) {
            writeAll(master, out.data(), out.size());
            continue;
        }
        for (std::uint8_t b : out) {
            lineFreeAt = std::max(Clock::now(), lineFreeAt) + byteTime;
            std::this_thread::sleep_until(lineFreeAt);
            writeAll(master, &b, 1);
        }
    }

    removeLink(opt.link, ptyName);
    close(slave);
    close(master);
    return 0;
}
