#include "board_sim.h"

namespace yukt::test {

bool RegisterBoardSim::doAcquire(std::uint16_t, int, std::string& error) {
    if (refuseAccess) error = "нет доступа к портам";
    return !refuseAccess;
}

std::uint8_t RegisterBoardSim::doIn(std::uint16_t port) {
    if (!installed || port < m_base || port >= m_base + 16) return 0xFF;
    // The low nibble of a read is not defined; make it vary.
    const auto low = static_cast<std::uint8_t>(++m_noise & 0x0F);
    if (unstableReads > 0) {
        --unstableReads;
        return static_cast<std::uint8_t>(((m_noise * 7) & 0xF0) | low);
    }
    const Group& g = m_group[(port - m_base) / 4];
    std::uint8_t nibble = 0;
    switch ((port - m_base) % 4) {
        case 0:
            nibble = g.status;
            break;
        case 1:
            nibble = g.result;
            break;
        case 2:
            nibble = g.rxLo;
            break;
        case 3:
            nibble = g.rxHi;
            break;
    }
    return static_cast<std::uint8_t>((nibble << 4) | low);
}

void RegisterBoardSim::doOut(std::uint16_t port, std::uint8_t value) {
    if (!installed || port < m_base || port >= m_base + 16) return;
    const int gi = (port - m_base) / 4;
    Group& g = m_group[gi];
    const std::uint8_t v = value & 0x0F;
    switch ((port - m_base) % 4) {
        case 0:
            command(gi, v);
            break;
        case 1:
            g.lineSel = v & 3;
            break;
        case 2:
            g.txLo = v;
            break;
        case 3:
            g.txHi = v;
            break;
    }
}

void RegisterBoardSim::command(int gi, std::uint8_t c) {
    Group& g = m_group[gi];
    commands.push_back(c);
    BoardLine& l = line[gi * 4 + g.lineSel + 1];
    g.result = 0;
    switch (c) {
        case 0:
            break;
        case 2:
            ++l.inits;
            break;
        case 4:
        case 6: {
            if (sendError) {
                g.result = 8;
                break;
            }
            const auto b = static_cast<std::uint8_t>(g.txHi << 4 | g.txLo);
            l.sent.push_back(b);
            if (l.onByte) l.onByte(l, b);
            break;
        }
        case 5:
        case 7:
            if (l.toBoard.empty()) {
                g.result = 8;
            } else {
                std::uint8_t b = l.toBoard.front();
                l.toBoard.pop_front();
                g.rxHi = b >> 4;
                g.rxLo = b & 15;
            }
            break;
        case 8:
            if (ignoreDivisor) return;  // the status never confirms
            divisor = g.txHi << 4 | g.txLo;
            break;
        default:
            g.result = 8;
            break;
    }
    g.status = c;
}

std::uint8_t ControllerBoardSim::doIn(std::uint16_t port) {
    if (port < m_base || port >= m_base + 32) return 0xFF;
    const int n = (port - m_base) / 2 + 1;
    const bool waiting = !m_reply[n].empty() || !line[n].toBoard.empty();
    if ((port - m_base) % 2 == 0)
        return static_cast<std::uint8_t>((waiting ? 0 : 0x80) | (busy ? 0x40 : 0));
    std::deque<std::uint8_t>& from = !m_reply[n].empty() ? m_reply[n] : line[n].toBoard;
    if (from.empty()) return 0;
    std::uint8_t b = from.front();
    from.pop_front();
    return b;
}

void ControllerBoardSim::doOut(std::uint16_t port, std::uint8_t value) {
    if (port < m_base || port >= m_base + 32 || (port - m_base) % 2 != 0) return;
    const int n = (port - m_base) / 2 + 1;
    std::vector<std::uint8_t>& cmd = m_cmd[n];
    if (cmd.empty() && value != 171) {
        line[n].sent.push_back(value);
        if (line[n].onByte) line[n].onByte(line[n], value);
        return;
    }
    cmd.push_back(value);
    if (value != 10) return;
    // 171, code, [value], 10: a command for the controller itself.
    if (cmd.size() >= 3 && cmd[1] == 7 && answersIdent) {
        m_reply[n].push_back(171);
        m_reply[n].insert(m_reply[n].end(), identText.begin(), identText.end());
        m_reply[n].push_back(10);
    }
    if (cmd.size() == 4 && cmd[1] == 3) speedValue[n] = cmd[2];
    cmd.clear();
}

}  // namespace yukt::test
