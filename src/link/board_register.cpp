// Register board: each group of four lines is driven through four 4-bit
// registers at base + 4 * group (command, line, low and high data nibble);
// the board shows its state in the high nibbles of the same registers.

#include "link/io_ports.h"
#include "link/link_hooks.h"
#include "link/poll_pacer.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

constexpr std::uint8_t kCmdIdle = 0;
constexpr std::uint8_t kCmdInitLine = 2;
constexpr std::uint8_t kCmdSendA = 4;
constexpr std::uint8_t kCmdSendB = 6;
constexpr std::uint8_t kCmdRecvA = 5;
constexpr std::uint8_t kCmdRecvB = 7;
constexpr std::uint8_t kCmdDivisor = 8;
constexpr std::uint8_t kResultError = 8;
// The status is trusted only when this many re-reads agree with the first.
constexpr int kStableReads = 5;

}  // namespace

std::uint16_t Ttp6606::groupRegister(int i) const {
    return static_cast<std::uint16_t>(BaseAddress() + (i & 12));
}

int Ttp6606::readStatus(std::uint16_t r) {
    std::uint8_t first[4];
    for (int k = 3; k >= 0; --k) first[k] = m_ports->in(static_cast<std::uint16_t>(r + k)) >> 4;
    for (int n = 0; n < kStableReads; ++n) {
        for (int k = 3; k >= 0; --k) {
            if ((m_ports->in(static_cast<std::uint16_t>(r + k)) >> 4) != first[k]) return -1;
        }
    }
    for (int k = 0; k < 4; ++k) Status[k] = first[k];
    return 0;
}

int Ttp6606::waitStatus(std::uint16_t r, int command, std::chrono::milliseconds limit) {
    PollPacer pacer(limit);
    for (;;) {
        if (readStatus(r) == 0 && Status[0] == command) return 0;
        if (pacer.expired()) return -1;
        pacer.pace();
    }
}

int Ttp6606::selectLine(int i) {
    const std::uint16_t r = groupRegister(i);
    m_ports->out(static_cast<std::uint16_t>(r + 1), static_cast<std::uint8_t>(i & 3));
    m_ports->out(r, kCmdIdle);
    return waitStatus(r, kCmdIdle, kByteTimeout);
}

int Ttp6606::initLine(int i) {
    if (selectLine(i) < 0) return -1;
    const std::uint16_t r = groupRegister(i);
    m_ports->out(static_cast<std::uint16_t>(r + 1), static_cast<std::uint8_t>(i & 3));
    m_ports->out(r, kCmdInitLine);
    WaitPump(static_cast<int>(kBoardSettle.count()));
    return selectLine(i);
}

int Ttp6606::regSend(int i, std::uint8_t b) {
    // Every byte must be a new command for the board: alternate the codes.
    const std::uint8_t c = Status[0] == kCmdSendB ? kCmdSendA : kCmdSendB;
    const std::uint16_t r = groupRegister(i);
    m_ports->out(static_cast<std::uint16_t>(r + 3), static_cast<std::uint8_t>(b >> 4));
    m_ports->out(static_cast<std::uint16_t>(r + 2), b);
    m_ports->out(static_cast<std::uint16_t>(r + 1), static_cast<std::uint8_t>(i & 3));
    m_ports->out(r, c);
    if (waitStatus(r, c, kByteTimeout) < 0) return -1;
    return Status[1] == kResultError ? -2 : 0;
}

int Ttp6606::regRecv(int i) {
    const std::uint8_t c = Status[0] == kCmdRecvB ? kCmdRecvA : kCmdRecvB;
    const std::uint16_t r = groupRegister(i);
    m_ports->out(static_cast<std::uint16_t>(r + 1), static_cast<std::uint8_t>(i & 3));
    m_ports->out(r, c);
    if (waitStatus(r, c, kByteTimeout) < 0) return -1;
    if (Status[1] == kResultError) return -2;
    return Status[3] * 16 + Status[2];
}

int Ttp6606::regSetBaud(int line, int baud, int crystal) {
    if (baud <= 0) return -2;
    const int d = divisor(crystal, 64, baud);
    if (d > 256) return -2;
    if (waitStatus(groupRegister(line - 1), kCmdIdle, kByteTimeout) < 0) return -1;
    const auto r = static_cast<std::uint16_t>(BaseAddress());
    m_ports->out(static_cast<std::uint16_t>(r + 3), static_cast<std::uint8_t>(d >> 4));
    m_ports->out(static_cast<std::uint16_t>(r + 2), static_cast<std::uint8_t>(d));
    m_ports->out(static_cast<std::uint16_t>(r + 1), 0);
    m_ports->out(r, kCmdDivisor);
    return waitStatus(r, kCmdDivisor, kBoardSettle) == 0 ? 0 : -1;
}

}  // namespace yukt
