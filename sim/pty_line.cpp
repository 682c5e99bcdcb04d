#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "common/system_error.h"

namespace yukt::sim {

namespace {

using Clock = std::chrono::steady_clock;

// How long the loop waits for a byte before it looks at the stop flag and
// runs the idle hook.
constexpr int kPollMs = 100;

std::string errnoText(const std::string& what) { return what + ": " + SystemErrorText(errno); }

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd pfd{fd, POLLOUT, 0};
                poll(&pfd, 1, kPollMs);
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

std::unique_ptr<PtyLine> PtyLine::open(const std::string& linkPath, std::string& error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        error = errnoText("posix_openpt");
        return nullptr;
    }
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        error = errnoText("grantpt");
        ::close(master);
        return nullptr;
    }
    const std::string name = ptsname(master);
    // The bench keeps the slave open itself, so that the master survives the
    // workstation closing and reopening the port.
    const int slave = ::open(name.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        error = errnoText(name);
        ::close(master);
        return nullptr;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);

    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symlink";
            ::close(slave);
            ::close(master);
            return nullptr;
        }
        unlink(linkPath.c_str());
    }
    if (symlink(name.c_str(), linkPath.c_str()) != 0) {
        error = errnoText(linkPath);
        ::close(slave);
        ::close(master);
        return nullptr;
    }
    return std::unique_ptr<PtyLine>(new PtyLine(master, slave, name, linkPath));
}

PtyLine::PtyLine(int master, int slave, std::string ptyName, std::string link)
    : m_master(master), m_slave(slave), m_ptyName(std::move(ptyName)), m_link(std::move(link)) {}

PtyLine::~PtyLine() {
    char buf[512];
    const ssize_t n = readlink(m_link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == m_ptyName) unlink(m_link.c_str());
    ::close(m_slave);
    ::close(m_master);
}

void PtyLine::serve(Bench& bench, bool wireTiming, const std::atomic<bool>& stop,
                    const std::function<void()>& idle) {
    std::unique_ptr<HostPort> port = bench.openPort();
    Clock::time_point lineFreeAt = Clock::now();
    while (!stop) {
        pollfd pfd{m_master, POLLIN, 0};
        const int ready = poll(&pfd, 1, kPollMs);
        if (ready < 0 && errno != EINTR) return;
        if (idle) idle();

        const auto byteTime = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(bench.byteSeconds()));
        std::vector<std::uint8_t> out = port->takeUnasked();
        if (ready > 0 && (pfd.revents & POLLIN)) {
            std::uint8_t buf[256];
            const ssize_t n = read(m_master, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                if (wireTiming) lineFreeAt = std::max(Clock::now(), lineFreeAt) + byteTime;
                const std::vector<std::uint8_t> reply = port->feed(buf[i]);
                out.insert(out.end(), reply.begin(), reply.end());
            }
        }
        if (out.empty()) continue;
        if (!wireTiming) {
            writeAll(m_master, out.data(), out.size());
            continue;
        }
        for (std::uint8_t b : out) {
            lineFreeAt = std::max(Clock::now(), lineFreeAt) + byteTime;
            std::this_thread::sleep_until(lineFreeAt);
            writeAll(m_master, &b, 1);
        }
    }
}

}  // namespace yukt::sim
