#include "link/com_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "link/tcp_transport.h"

namespace yukt {

namespace {

using Clock = std::chrono::steady_clock;

// errno of a failed open or set-up as the operator reads it.
std::string errnoText(const std::string& device, int e) {
    switch (e) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return device + ": нет такого устройства";
        case EBUSY:
        case EWOULDBLOCK:
            return device + ": порт занят";
        case EACCES:
        case EPERM:
            return device + ": нет прав доступа";
        case ENOTTY:
            return device + ": не последовательный порт";
        default:
            return device + ": " + std::strerror(e);
    }
}

speed_t speedOf(int baud) {
    switch (baud) {
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B1200;  // any other rate opens at 1200, as always
    }
}

int msLeft(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class SerialPort final : public ByteTransport {
  public:
    SerialPort(int fd, const termios& saved) : m_fd(fd), m_saved(saved) {}
    ~SerialPort() override {
        ::tcsetattr(m_fd, TCSANOW, &m_saved);
        ::ioctl(m_fd, TIOCNXCL);
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

  private:
    bool doWrite(std::uint8_t b, std::chrono::milliseconds limit) override {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            ssize_t n = ::write(m_fd, &b, 1);
            if (n == 1) return true;
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (!waitFor(POLLOUT, deadline)) return false;
        }
    }

    int doRead(std::chrono::milliseconds limit) override {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            std::uint8_t b;
            ssize_t n = ::read(m_fd, &b, 1);
            if (n == 1) return b;
            if (n < 0 && errno != EAGAIN && errno != EINTR) return -1;
            if (!waitFor(POLLIN, deadline)) return -1;
        }
    }

    // Blocks until the port is ready or the deadline passes; false on time-out
    // or when the device is gone (a hang-up would otherwise wake us at once).
    bool waitFor(short events, Clock::time_point deadline) {
        for (;;) {
            int left = msLeft(deadline);
            if (left == 0) return false;
            pollfd p{m_fd, events, 0};
            int r = ::poll(&p, 1, left);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            if (p.revents & events) return true;
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
        }
    }

    int m_fd;
    termios m_saved;
};

struct OpenerHook {
    std::mutex mutex;
    ComPortOpener opener;
};

OpenerHook& openerHook() {
    static OpenerHook h;
    return h;
}

ComPortOpener currentOpener() {
    std::lock_guard<std::mutex> lock(openerHook().mutex);
    return openerHook().opener;
}

// Why the last open of a network COM port failed, per port: the link's
// error text carries it after the usual "busy" words.
struct NetworkProblems {
    std::mutex mutex;
    std::map<int, std::string> byCom;
};

NetworkProblems& networkProblems() {
    static NetworkProblems p;
    return p;
}

std::unique_ptr<ByteTransport> openNetworkCom(int comNumber, const std::string& device, int baud,
                                              std::string& error) {
    auto port = OpenNetworkPort(device, baud, error);
    std::lock_guard<std::mutex> lock(networkProblems().mutex);
    if (port)
        networkProblems().byCom.erase(comNumber);
    else
        networkProblems().byCom[comNumber] = error;
    return port;
}

}  // namespace

std::string NetworkOpenProblem(int comNumber) {
    std::lock_guard<std::mutex> lock(networkProblems().mutex);
    auto it = networkProblems().byCom.find(comNumber);
    return it == networkProblems().byCom.end() ? "" : " (" + it->second + ")";
}

std::string ComDevicePath(int comNumber) {
    std::string var = "YUKT_COM" + std::to_string(comNumber);
    if (const char* dev = std::getenv(var.c_str()); dev != nullptr && *dev != '\0') return dev;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

std::unique_ptr<ByteTransport> OpenSerialDevice(const std::string& device, int baud,
                                                std::string& error) {
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errnoText(device, errno);
        return nullptr;
    }
    auto fail = [&](int e) {
        error = errnoText(device, e);
        ::close(fd);
        return nullptr;
    };
    if (!::isatty(fd)) return fail(ENOTTY);
    // The port is ours alone: flock keeps out other users of this program
    // (root included), TIOCEXCL everyone else who is not root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0) return fail(errno);
    ::ioctl(fd, TIOCEXCL);

    termios t = saved;
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speedOf(baud));
    ::cfsetospeed(&t, speedOf(baud));
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        int e = errno;
        ::ioctl(fd, TIOCNXCL);
        return fail(e);
    }
    ::tcflush(fd, TCIOFLUSH);
    // The line adapter is powered from DTR and listens while RTS is low.
    // Pseudo-terminals have no modem lines, so failures here are ignored.
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &dtr);
    (void)::ioctl(fd, TIOCMBIC, &rts);
    return std::make_unique<SerialPort>(fd, saved);
}

void SetComPortOpener(ComPortOpener opener) {
    std::lock_guard<std::mutex> lock(openerHook().mutex);
    openerHook().opener = std::move(opener);
}

std::unique_ptr<ByteTransport> OpenComPort(int comNumber, int baud, std::string& error) {
    if (comNumber < 1 || comNumber > 4) {
        error = "COM" + std::to_string(comNumber) + ": нет такого порта";
        return nullptr;
    }
    if (ComPortOpener opener = currentOpener()) return opener(comNumber, baud, error);
    const std::string device = ComDevicePath(comNumber);
    if (IsNetworkDevice(device)) return openNetworkCom(comNumber, device, baud, error);
    return OpenSerialDevice(device, baud, error);
}

bool ComPortExists(int comNumber) {
    if (comNumber < 1 || comNumber > 4) return false;
    if (ComPortOpener opener = currentOpener()) {
        std::string error;
        return opener(comNumber, 1200, error) != nullptr;
    }
    if (IsNetworkDevice(ComDevicePath(comNumber)))
        return NetworkDeviceReachable(ComDevicePath(comNumber));
    int fd = ::open(ComDevicePath(comNumber).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool tty = ::isatty(fd);
    ::close(fd);
    return tty;
}

}  // namespace yukt
