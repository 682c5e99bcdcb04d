#include "modules/tp74xx.h"

#include <algorithm>

#include "common/text.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

std::int32_t le24(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16); }
std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

template <std::size_t N>
int Ttp74xx::request(int line, int addr, int cmd, std::array<std::uint8_t, N>& out) {
    if (Port() == 0) return -1;
    Ttp6606* link = LinkObject();
    if (link == nullptr || !link->IsOpen()) return 1;
    link->SendCmd(line, addr, cmd);
    const int result = link->ReceiveFrame(line);
    if (result != 0) return result;
    out.fill(0);
    const std::size_t got =
        std::min<std::size_t>(N, static_cast<std::size_t>(std::max(link->RecvLen, 0)));
    std::copy_n(link->Buf, got, out.begin());
    return 0;
}

int Ttp74xx::ReadTriple(int line, int addr) {
    std::array<std::uint8_t, 9> d;
    const int result = request(line, addr, kCmdReadFirst, d);
    if (result != 0) return result;
    m_rawA = le24(&d[0]);
    m_rawB = le24(&d[3]);
    m_rawC16 = le16(&d[6]);
    m_rawC24 = le24(&d[6]);
    return 0;
}

int Ttp74xx::ReadGroup(int line, int addr) {
    std::array<std::uint8_t, 19> d;
    const int result = request(line, addr, kCmdReadFirst, d);
    if (result != 0) return result;
    m_group = d[0];
    m_refCode = le16(&d[1]);
    // The module sends channel 8 first and channel 1 last.
    for (int k = 0; k < 8; ++k) m_chanCodes[7 - k] = le16(&d[3 + 2 * k]);
    return 0;
}

int Ttp74xx::Read16(int line, int addr) {
    std::array<std::uint8_t, 16> d;
    for (int half = 0; half < 2; ++half) {
        const int result = request(line, addr, half == 0 ? kCmdReadFirst : kCmdReadSecond, d);
        if (result != 0) return result;
        for (int k = 0; k < 8; ++k) m_codes16[half * 8 + k] = le16(&d[2 * k]) & 0x0FFF;
    }
    return 0;
}

std::string Field73(double x) {
    std::string s = Fmt("%7.3f", x);
    const auto minus = s.find('-');
    if (minus != std::string::npos && s.find_first_of("123456789") == std::string::npos)
        s[minus] = ' ';
    return s;
}

}  // namespace yukt
