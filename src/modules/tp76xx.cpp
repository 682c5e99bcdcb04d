#include "modules/tp76xx.h"

#include <cmath>

#include "common/text.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

constexpr int kCmdWritePorts = 1;
constexpr int kCmdReadPorts = 2;
constexpr int kCmdDisplay = 2;
constexpr int kPortCount = 4;

// A byte from two characters: the first one's code in the upper nibble, the
// second one's low bits in the lower (for digits, a packed decimal pair).
std::uint8_t packPair(char a, char b) {
    return static_cast<std::uint8_t>(((static_cast<unsigned char>(a) * 16) % 256) |
                                     (static_cast<unsigned char>(b) & 0x0F));
}

}  // namespace

int Ttp76xx::ReadPorts() {
    if (!CanExchange()) return -1;
    Ttp6606& link = *LinkObject();
    link.SendCmd(Line(), Addr(), kCmdReadPorts);
    // A reply too short to hold the four ports is no valid reply either.
    if (link.ReceiveFrame(Line()) != 0 || link.RecvLen < kPortCount) {
        SetError(kErrExchange);
        return -1;
    }
    for (int i = 0; i < kPortCount; ++i) m_ports[i] = link.Buf[i];
    SetError(kErrOk);
    return 0;
}

int Ttp76xx::WritePorts() {
    if (!CanExchange()) return -1;
    Ttp6606& link = *LinkObject();
    for (int i = 0; i < kPortCount; ++i) link.Buf[i] = m_ports[i];
    link.SendFrame(Line(), Addr(), kPortCount, kCmdWritePorts);
    int r = link.ReceiveFrame(Line());
    return r >= 0 ? r : -1;
}

int Ttp76xx::Display(int row, const DisplayValues& values) {
    if (!CanExchange()) return -1;
    if (row < 1 || row > kDisplayRows) return -1;
    std::uint8_t data[1 + 2 * kDisplayPositions];
    data[0] = static_cast<std::uint8_t>(row);
    for (int i = 0; i < kDisplayPositions; ++i)
        if (!EncodeDisplayValue(values[i], data[1 + 2 * i], data[2 + 2 * i])) return -1;
    Ttp6606& link = *LinkObject();
    for (std::size_t i = 0; i < sizeof data; ++i) link.Buf[i] = data[i];
    link.SendFrame(Line(), Addr(), static_cast<int>(sizeof data), kCmdDisplay);
    int r = link.ReceiveFrame(Line());
    return r >= 0 ? r : -1;
}

bool Ttp76xx::EncodeDisplayValue(double value, std::uint8_t& intPart, std::uint8_t& fraction) {
    // A minus sign would land in a nibble as a non-decimal digit.
    if (!std::isfinite(value) || value < 0) return false;
    value += 0.0;  // no "-0.0"
    std::string text = Fmt("%02.1f", value);
    if (text.size() < 4) text = "0" + text;
    if (text.size() > 4) text = text.substr(text.size() - 4);  // 123.4 shows 23.4
    intPart = packPair(text[0], text[1]);
    fraction = packPair(text[3], '0');
    return true;
}

std::string PortText(std::uint8_t port) { return Fmt("$%02X", port); }

}  // namespace yukt
