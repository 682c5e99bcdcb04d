#include "link/tp6606.h"

#include <atomic>

#include <algorithm>

#include "link/com_port.h"
#include "link/frame_trace.h"
#include "link/io_ports.h"
#include "link/link_hooks.h"
#include "link/poll_pacer.h"

namespace yukt {

namespace {

constexpr int kBaseAddresses[8] = {0x100, 0x108, 0x110, 0x118, 0x300, 0x308, 0x310, 0x318};
constexpr int kBaudRates[8] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kDefaultBaseCode = 4;  // $300
constexpr int kBoardCode = 4;        // ComIndex of a board
// Ports a board occupies: sixteen lines of a controller board, two each.
constexpr int kBoardPorts = 32;

}  // namespace

namespace {
std::atomic<int> g_defaultAttempts{1};
}  // namespace

Ttp6606::Ttp6606() = default;

void Ttp6606::SetDefaultAttempts(int n) { g_defaultAttempts.store(n < 1 ? 1 : n); }

int Ttp6606::DefaultAttempts() { return g_defaultAttempts.load(); }

Ttp6606::~Ttp6606() = default;

void Ttp6606::SetBaseAddr(int address) {
    m_baseCode = kDefaultBaseCode;
    for (int i = 0; i < 8; ++i)
        if (kBaseAddresses[i] == address) m_baseCode = i;
}

int Ttp6606::BaseAddress() const { return kBaseAddresses[m_baseCode]; }

void Ttp6606::SetBoardNumber(int n) {
    if (n >= 1 && n <= 4) m_boardNumber = n;
}

void Ttp6606::SetCrystal(int hz) {
    if (hz >= 1000000 && hz <= 32000000)
        m_crystal = hz;
    else
        ErrorText = "Резонатор д.б. в пределах 1000000..32000000 Гц";
}

void Ttp6606::SetSpeed(int baud) {
    switch (baud / 100) {
        case 12:
            m_baudCode = 0;
            break;
        case 24:
            m_baudCode = 1;
            break;
        case 96:
            m_baudCode = 3;
            break;
        case 192:
            m_baudCode = 4;
            break;
        case 384:
            m_baudCode = 5;
            break;
        case 576:
            m_baudCode = 6;
            break;
        case 1152:
            m_baudCode = 7;
            break;
        default:
            m_baudCode = 2;
            break;
    }
}

int Ttp6606::Speed() const { return kBaudRates[m_baudCode]; }

void Ttp6606::SetComIndex(int index) {
    if (index >= 0 && index <= kBoardCode) m_comIndex = index;
}

void Ttp6606::SetLine(int line) {
    if (line >= 1 && line <= 16) m_line = line;
}

void Ttp6606::SetAddr(int addr) {
    if (addr >= 0 && addr <= 255) m_addr = addr;
}

void Ttp6606::SetStringCmd(int cmd) {
    if (cmd >= 0 && cmd <= 7) m_stringCmd = cmd;
}

void Ttp6606::WaitPump(int ms) { yukt::WaitPump(ms); }

void Ttp6606::OpenLink(bool on) { openLink(on, false); }

void Ttp6606::OpenLinkDirect(bool on) { openLink(on, true); }

void Ttp6606::openLink(bool on, bool direct) {
    if (!on) {
        if (isBoard()) {
            m_boardOpen = false;
        } else {
            closeCom();
        }
        recomputeOpen();
        return;
    }
    m_direct = direct;
    if (isBoard())
        openBoard(direct);
    else
        openCom();
    recomputeOpen();
}

void Ttp6606::openBoard(bool direct) {
    ErrorText.clear();
    m_boardOpen = false;
    m_ports = CurrentIoPorts();
    std::string why;
    if (!m_ports->acquire(static_cast<std::uint16_t>(BaseAddress()), kBoardPorts, why)) {
        ErrorText = why;
        return;
    }
    // A controller board answers the identification request on a line that
    // carries modules; a register board does not.
    m_smartBoard = false;
    if (direct) {
        m_smartBoard = !BoardIdent(1).empty();
    } else if (m_lineUse != nullptr) {
        for (int line = 1; line <= 4 && !m_smartBoard; ++line)
            if ((*m_lineUse)[m_boardNumber][line]) m_smartBoard = !BoardIdent(line).empty();
    }
    if (!m_smartBoard) {
        const auto base = static_cast<std::uint16_t>(BaseAddress());
        for (int k = 0; k < 4; ++k) m_ports->out(static_cast<std::uint16_t>(base + k), 0);
        for (int i = 0; i < 4; ++i) {
            if (selectLine(i) < 0) {
                ErrorText = "плата не установлена";
                return;
            }
        }
        initLine(0);
    }
    if (SetBaud(m_line, Speed(), m_crystal) < 0) {
        ErrorText = "плата не настраивается";
        return;
    }
    m_boardOpen = true;
    closeCom();
}

void Ttp6606::openCom() {
    ErrorText.clear();
    ErrorReason.clear();
    closeCom();
    m_com = OpenComPort(ComNumber(), Speed(), ErrorReason);
    if (!m_com) {
        ErrorText = "COM-порт занят";
        return;
    }
    ErrorReason.clear();
    m_comOpen = true;
    m_boardOpen = false;
}

void Ttp6606::closeCom() {
    m_comOpen = false;
    m_com.reset();
    m_reopening.reset();
    m_reopenInterval = kReopenInterval;
}

ByteTransport* Ttp6606::liveCom() {
    if (m_com || !m_comOpen) return m_com.get();
    const auto now = std::chrono::steady_clock::now();
    if (!m_reopening) {
        if (now < m_nextReopen) return nullptr;
        m_reopening = StartComOpening(ComNumber(), Speed());
    }
    std::string why;
    switch (m_reopening->poll(m_com, why)) {
        case ComOpening::State::Pending:
            return nullptr;
        case ComOpening::State::Failed:
            reopenFailed(now);
            return nullptr;
        case ComOpening::State::Open:
            break;
    }
    m_reopening.reset();
    m_reopenInterval = kReopenInterval;
    ErrorReason.clear();
    LineStateChanged(ComNumber(), false);
    return m_com.get();
}

void Ttp6606::reopenFailed(std::chrono::steady_clock::time_point now) {
    // A local device costs nothing to try: once a second. A device server
    // is given 1, 2, 4 ... 30 s.
    const bool remote = m_reopening->remote();
    m_reopening.reset();
    if (remote) m_reopenInterval = std::min(m_reopenInterval * 2, kReopenIntervalMax);
    m_nextReopen = now + m_reopenInterval;
}

void Ttp6606::checkLost() {
    if (!m_com || !m_com->lost()) return;
    m_com.reset();
    m_nextReopen = std::chrono::steady_clock::now() + kReopenInterval;
    m_reopenInterval = kReopenInterval;
    ErrorReason = "линия потеряна";
    LineStateChanged(ComNumber(), true);
}

void Ttp6606::dropStaleInput() {
    if (isBoard()) return;
    if (ByteTransport* com = liveCom()) {
        const std::size_t dropped = com->discardInput();
        StaleBytes += dropped;
        TraceDropped(*this, dropped);
        checkLost();
    }
}

int Ttp6606::sendComBytes(const std::uint8_t* bytes, std::size_t count) {
    ByteTransport* com = liveCom();
    if (!com) return -1;
    const bool sent = com->writeAll(bytes, count, kByteTimeout);
    if (!sent) checkLost();
    return sent ? 1 : -1;
}

int Ttp6606::comPeek() {
    ByteTransport* com = liveCom();
    if (!com) return -2;
    const int b = com->readByte(std::chrono::milliseconds(0));
    if (b < 0) checkLost();
    return b;
}

int Ttp6606::SendByte(int line, std::uint8_t b) {
    if (!isBoard()) {
        ByteTransport* com = liveCom();
        if (!com) return -1;
        const bool sent = com->writeByte(b, kByteTimeout);
        if (!sent) checkLost();
        return sent ? 1 : -1;
    }
    if (!m_ports) return -1;
    if (m_smartBoard) return ctlSend(line, b) ? 0 : -1;
    return regSend(line - 1, b);
}

int Ttp6606::RecvByte(int line) {
    if (!isBoard()) {
        ByteTransport* com = liveCom();
        if (!com) return -1;
        int b = com->readByte(kByteTimeout);
        if (b < 0) {
            com->clearError();
            checkLost();
        }
        return b;
    }
    if (!m_ports) return -1;
    int b = boardRecv(line);
    if (b < 0) return -1;
    if (b > 0) {
        m_zeroCount = 0;
        return (m_smartBoard && !isLineByte(b)) ? -1 : b;
    }
    // A run of zero bytes is what a broken line delivers: warn, and after 32
    // of them reopen the board and report the break once.
    if (m_zeroCount > 32) return -1;
    Beep();
    ++m_zeroCount;
    if (m_zeroCount == 32) {
        Beep();
        m_zeroCount = 33;
        OpenLink(true);
        if (!m_smartBoard) initLine(line - 1);
        ErrorText = "Обрыв линии по каналу " + std::to_string(line);
        return -1;
    }
    return 0;
}

int Ttp6606::boardRecv(int line) {
    PollPacer pacer(kByteTimeout);
    for (;;) {
        int b = m_smartBoard ? ctlRecvOnce(line) : regRecv(line - 1);
        if (b >= 0) return b;
        if (b == -1 && !m_smartBoard) return -1;
        if (pacer.expired()) return -1;
        pacer.pace();
    }
}

bool Ttp6606::isLineByte(int b) { return b == kLf || (b >= 48 && b <= 63) || b == 85 || b == 170; }

int Ttp6606::SetBaud(int line, int baud, int crystal) {
    if (!isBoard()) {
        // A COM port takes its speed when it is opened.
        SetSpeed(baud);
        if (m_comOpen) openCom();
        recomputeOpen();
        return m_comOpen ? 0 : -1;
    }
    if (!m_ports) return -1;
    if (m_smartBoard) return ctlSetBaud(line, baud, crystal);
    return regSetBaud(line, baud, crystal);
}

int Ttp6606::divisor(double crystal, double perBit, int baud) {
    double q = crystal / perBit / baud;
    int d = static_cast<int>(q);
    if (q - d > 0.5) ++d;
    return d;
}

}  // namespace yukt
