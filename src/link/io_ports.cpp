#include "link/io_ports.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define YUKT_HAVE_PORT_IO 1
#endif

#include "common/system_error.h"

namespace yukt {

namespace {

std::string portRange(std::uint16_t base, int count) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "$%04X..$%04X", base, base + count - 1);
    return buf;
}

// Direct port I/O through the kernel's I/O permission bitmap.
class SystemIoPorts final : public IoPorts {
  private:
    bool doAcquire(std::uint16_t base, int count, std::string& error) override {
#ifdef YUKT_HAVE_PORT_IO
        if (::ioperm(base, static_cast<unsigned long>(count), 1) == 0) return true;
        int e = errno;
        if (e == EPERM)
            error = "нет доступа к портам " + portRange(base, count) +
                    ": нужны права root (CAP_SYS_RAWIO)";
        else
            error = "нет доступа к портам " + portRange(base, count) + ": " + SystemErrorText(e);
        return false;
#else
        error = "нет доступа к портам " + portRange(base, count) +
                ": прямой ввод-вывод в порты на этой платформе невозможен";
        return false;
#endif
    }

    std::uint8_t doIn(std::uint16_t port) override {
#ifdef YUKT_HAVE_PORT_IO
        return ::inb(port);
#else
        (void)port;
        return 0xFF;
#endif
    }

    void doOut(std::uint16_t port, std::uint8_t value) override {
#ifdef YUKT_HAVE_PORT_IO
        ::outb(value, port);
#else
        (void)port;
        (void)value;
#endif
    }
};

struct Installed {
    std::mutex mutex;
    std::shared_ptr<IoPorts> ports;
};

Installed& installed() {
    static Installed i;
    return i;
}

}  // namespace

void SetIoPorts(std::shared_ptr<IoPorts> ports) {
    std::lock_guard<std::mutex> lock(installed().mutex);
    installed().ports = std::move(ports);
}

std::shared_ptr<IoPorts> CurrentIoPorts() {
    std::lock_guard<std::mutex> lock(installed().mutex);
    if (!installed().ports) {
        static std::shared_ptr<IoPorts> system = std::make_shared<SystemIoPorts>();
        return system;
    }
    return installed().ports;
}

}  // namespace yukt
