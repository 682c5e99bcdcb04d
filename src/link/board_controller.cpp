// Controller board: every line n has a port pair at base + 2 (n - 1): the
// first port gives the status and takes bytes to send, the second gives the
// received byte. The board's controller itself takes commands framed as
// 171, code, 10 on a line.

#include <vector>

#include "link/io_ports.h"
#include "link/link_hooks.h"
#include "link/poll_pacer.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

constexpr std::uint8_t kNoByteBit = 0x80;
constexpr std::uint8_t kBusyBit = 0x40;
constexpr std::uint8_t kCtlStart = 171;
constexpr std::uint8_t kCtlEnd = 10;
constexpr std::uint8_t kCtlHello = 0;
constexpr std::uint8_t kCtlSpeed = 3;
constexpr std::uint8_t kCtlIdent = 7;
constexpr int kMaxDrain = 256;
constexpr int kMaxIdentChars = 20;

}  // namespace

std::uint16_t Ttp6606::portOfLine(int line) const {
    return static_cast<std::uint16_t>(BaseAddress() + 2 * (line - 1));
}

bool Ttp6606::ctlSend(int line, std::uint8_t b) {
    const std::uint16_t p = portOfLine(line);
    PollPacer pacer(kByteTimeout);
    for (;;) {
        if ((m_ports->in(p)&kBusyBit) == 0) {
            m_ports->out(p, b);
            return true;
        }
        if (pacer.expired()) return false;
        pacer.pace();
    }
}

int Ttp6606::ctlRecvOnce(int line) {
    const std::uint16_t p = portOfLine(line);
    if (m_ports->in(p)&kNoByteBit) return -2;
    return m_ports->in(static_cast<std::uint16_t>(p + 1));
}

int Ttp6606::ctlRecv(int line) {
    PollPacer pacer(kByteTimeout);
    for (;;) {
        int b = ctlRecvOnce(line);
        if (b >= 0) return b;
        if (pacer.expired()) return -1;
        pacer.pace();
    }
}

bool Ttp6606::ctlCommand(int line, std::uint8_t code) {
    return ctlSend(line, kCtlStart) && ctlSend(line, code) && ctlSend(line, kCtlEnd);
}

void Ttp6606::drain(int line) {
    for (int n = 0; n < kMaxDrain; ++n)
        if (ctlRecv(line) < 0) return;
}

std::string Ttp6606::BoardIdent(int line) {
    if (!m_ports) m_ports = CurrentIoPorts();
    drain(line);
    for (int n = 0; n < 3; ++n)
        if (!ctlSend(line, kCtlEnd)) break;
    drain(line);
    ctlCommand(line, kCtlHello);
    ctlCommand(line, kCtlIdent);
    if (ctlRecv(line) != kCtlStart) return "";
    std::string text;
    for (int n = 0; n <= kMaxIdentChars; ++n) {
        int b = ctlRecv(line);
        if (b < 0) return "";
        if (b == kCtlEnd) return text;
        if (n == kMaxIdentChars) break;
        text += static_cast<char>(b);
    }
    return "";
}

int Ttp6606::ctlSetBaud(int line, int baud, int crystal) {
    if (baud <= 0) return -2;
    const int d = divisor(crystal, 384, baud);
    if (d > 256) return -2;
    const auto value = static_cast<std::uint8_t>((256 - d) % 256);
    std::vector<int> lines;
    if (m_direct) {
        lines.push_back(line);
    } else if (m_lineUse != nullptr) {
        for (int n = 1; n <= 4; ++n)
            if ((*m_lineUse)[m_boardNumber][n]) lines.push_back(n);
    }
    for (int n : lines) {
        bool ok = ctlSend(n, kCtlStart) && ctlSend(n, kCtlSpeed) && ctlSend(n, value) &&
                  ctlSend(n, kCtlEnd);
        if (!ok) {
            Beep();
            return -1;
        }
    }
    return 0;
}

}  // namespace yukt
