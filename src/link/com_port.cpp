#include "link/com_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "common/system_error.h"
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
            return device + ": устройство не найдено";
        case EBUSY:
        case EWOULDBLOCK:
            return device + ": порт занят другой программой";
        case EACCES:
        case EPERM:
            return "нет доступа к " + device + " (нужна группа dialout)";
        case ENOTTY:
            return device + ": это не последовательный порт";
        default:
            return device + ": " + SystemErrorText(e);
    }
}

// What a path that is not a character device is, or empty when it is one
// (or does not exist: open() then says why).
std::string notADevice(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0 || S_ISCHR(st.st_mode)) return "";
    const char* what = S_ISDIR(st.st_mode)    ? "каталог"
                       : S_ISFIFO(st.st_mode) ? "канал FIFO"
                       : S_ISSOCK(st.st_mode) ? "сокет"
                       : S_ISREG(st.st_mode)  ? "обычный файл"
                                              : "не символьное устройство";
    return device + ": это не последовательный порт (" + what + ")";
}

// The far end of a terminal is gone for good after these.
bool lineGone(int e) { return e == EIO || e == ENXIO || e == ENODEV || e == EBADF; }

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

// Bytes a UART's receive FIFO gathers before it hands them on (the 16550's
// usual trigger level).
constexpr int kGatherBytes = 8;

// The time a byte takes on the line at `baud`: a start bit, 8 data bits and
// a stop bit.
std::chrono::microseconds byteTime(int baud) {
    const speed_t s = speedOf(baud);
    const int effective = s == B1200 ? 1200 : baud;
    return std::chrono::microseconds(10'000'000 / effective);
}

int msLeft(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class SerialPort final : public ByteTransport {
  public:
    SerialPort(int fd, const termios& saved, std::string device, int baud)
        : m_fd(fd),
          m_saved(saved),
          m_device(std::move(device)),
          m_gather(kGatherBytes * byteTime(baud)) {
        struct stat st {};
        if (::fstat(m_fd, &st) == 0) m_rdev = st.st_rdev;
    }
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
        return doWriteAll(&b, 1, limit);
    }

    // One write call for the whole frame in the usual case; the limit holds
    // for each wait for room, as it did for each byte.
    bool doWriteAll(const std::uint8_t* data, std::size_t n,
                    std::chrono::milliseconds limit) override {
        m_maybeStale = true;
        m_trickling = false;
        while (n > 0 && !m_lost) {
            const ssize_t k = ::write(m_fd, data, n);
            if (k > 0) {
                data += k;
                n -= static_cast<std::size_t>(k);
                continue;
            }
            if (k < 0 && errno == EINTR) continue;
            if (k < 0 && errno != EAGAIN) {
                m_lost = lineGone(errno);
                return false;
            }
            if (!waitFor(POLLOUT, Clock::now() + limit)) return false;
        }
        return n == 0;
    }

    // Bytes come from the buffer; one read call refills it with whatever
    // the device holds. The limit is the wait for the next byte.
    // Once the buffer is empty the device has nothing more yet, so the
    // wait comes before the read: one poll and one read per burst.
    // A line that hands bytes over one by one (a slow line on a plain
    // terminal) would wake the reader for each: while it does, the reader
    // first lets a FIFO's worth of bytes come. It is only asked for a byte
    // the frame still needs, so the frame's end is not delayed by more than
    // that.
    int doRead(std::chrono::milliseconds limit) override {
        if (m_pos < m_len) return m_buf[m_pos++];
        const auto deadline = Clock::now() + limit;
        if (m_trickling) std::this_thread::sleep_for(std::min<Clock::duration>(m_gather, limit));
        while (!m_lost) {
            if (!waitFor(POLLIN, deadline)) {
                m_maybeStale = true;
                if (!m_lost && limit.count() > 0) checkDeviceNode();
                return -1;
            }
            if (const ssize_t k = fill(); k > 0) {
                m_maybeStale = false;
                if (k < kGatherBytes) m_trickling = true;
                return m_buf[m_pos++];
            }
        }
        return -1;
    }

    // Late replies follow a request whose reply timed out or was never read;
    // after a reply read in full the device is only asked when bytes were
    // left over, which keeps a clean exchange at one write, one poll, one read.
    std::size_t doDiscardInput() override {
        std::size_t dropped = m_len - m_pos;
        m_pos = m_len = 0;
        m_trickling = false;
        if (dropped == 0 && !m_maybeStale) return 0;
        m_maybeStale = false;
        while (fill() > 0) {
            dropped += m_len;
            m_pos = m_len = 0;
        }
        return dropped;
    }

    bool doLost() const override { return m_lost; }

    // One read into the empty buffer: the count read, 0 when nothing waits
    // or the line is gone (m_lost set).
    ssize_t fill() {
        m_pos = m_len = 0;
        for (;;) {
            const ssize_t k = ::read(m_fd, m_buf, sizeof m_buf);
            if (k > 0) {
                m_len = static_cast<std::size_t>(k);
                return k;
            }
            // With VMIN 1 an idle terminal says EAGAIN; 0 is a hang-up.
            if (k == 0) m_lost = true;
            if (k < 0 && errno == EINTR) continue;
            if (k < 0 && errno != EAGAIN) m_lost = lineGone(errno);
            return 0;
        }
    }

    // Blocks until the port is ready or the deadline passes; false on time-out
    // or when the device is gone (a hang-up would otherwise wake us at once).
    bool waitFor(short events, Clock::time_point deadline) {
        for (bool first = true;; first = false) {
            int left = msLeft(deadline);
            if (left == 0 && !first) return false;
            pollfd p{m_fd, events, 0};
            int r = ::poll(&p, 1, left);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                // Bytes that came before the hang-up are still handed out.
                if ((p.revents & POLLIN) && (events & POLLIN)) return true;
                m_lost = true;
                return false;
            }
            if (p.revents & events) return true;
        }
    }

    // A silent line may be a device whose node was removed or now names
    // another device (an adapter pulled out and plugged in again).
    void checkDeviceNode() {
        struct stat st {};
        if (::stat(m_device.c_str(), &st) != 0 || st.st_rdev != m_rdev) m_lost = true;
    }

    int m_fd;
    termios m_saved;
    std::string m_device;
    dev_t m_rdev = 0;
    bool m_lost = false;
    // Bytes may wait in the device that no receive has looked for.
    bool m_maybeStale = true;
    // A read of this reply found fewer bytes than a FIFO gathers.
    bool m_trickling = false;
    Clock::duration m_gather;
    std::uint8_t m_buf[256];
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
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

}  // namespace

std::string ComDevicePath(int comNumber) {
    std::string var = "YUKT_COM" + std::to_string(comNumber);
    if (const char* dev = std::getenv(var.c_str()); dev != nullptr && *dev != '\0') return dev;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

std::unique_ptr<ByteTransport> OpenSerialDevice(const std::string& device, int baud,
                                                std::string& error) {
    // A FIFO or a directory is never opened: it could block or mislead.
    if (std::string what = notADevice(device); !what.empty()) {
        error = what;
        return nullptr;
    }
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
    // VMIN 1 on a non-blocking port: an idle line reads EAGAIN, a hang-up 0.
    t.c_cc[VMIN] = 1;
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
    return std::make_unique<SerialPort>(fd, saved, device, baud);
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
    if (IsNetworkDevice(device)) return OpenNetworkPort(device, baud, error, comNumber);
    return OpenSerialDevice(device, baud, error);
}

namespace {

// Serial devices and the in-process bench open at once.
class LocalOpening final : public ComOpening {
  public:
    LocalOpening(int comNumber, int baud) : m_comNumber(comNumber), m_baud(baud) {}

  private:
    State doPoll(std::unique_ptr<ByteTransport>& port, std::string& error) override {
        port = OpenComPort(m_comNumber, m_baud, error);
        return port ? State::Open : State::Failed;
    }
    int m_comNumber;
    int m_baud;
};

}  // namespace

std::unique_ptr<ComOpening> StartComOpening(int comNumber, int baud) {
    if (comNumber >= 1 && comNumber <= 4 && !currentOpener() &&
        IsNetworkDevice(ComDevicePath(comNumber)))
        return StartNetworkOpening(ComDevicePath(comNumber), baud, comNumber);
    return std::make_unique<LocalOpening>(comNumber, baud);
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
