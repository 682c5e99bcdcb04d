#include "modules/tp78d7.h"

#include <algorithm>
#include <cmath>

#include "link/tp6606.h"

namespace yukt {

namespace {

constexpr int kCmdModuleReset = 0;
constexpr int kCmdChannel = 1;
constexpr int kCmdDacReset = 2;
constexpr std::uint8_t kModeModuleReset = 4;
constexpr std::uint8_t kModeDacReset = 5;
// Режим 9 drives channel 4 like Режим 4.
constexpr std::uint8_t kModeLastChannelAlias = 8;

}  // namespace

std::uint16_t Ttp78d7::DacCode(double x) {
    // A negative set-point would not fit 16 bits: held at 0 mA.
    x = std::clamp(x, 0.0, 24.0);
    return static_cast<std::uint16_t>(std::trunc(65535.0 / 24 * x));
}

std::array<std::uint8_t, 2> Ttp78d7::ChannelRequest(int channelIndex, std::uint16_t code) {
    const unsigned v = (code >> 4) & 0x0FFFu;
    const unsigned w = (static_cast<unsigned>(channelIndex) << 12) | v;
    return {static_cast<std::uint8_t>((w >> 8) & 0xFF), static_cast<std::uint8_t>(w & 0xFF)};
}

int Ttp78d7::SetValue(double x) {
    if (!CanExchange()) return 0;
    m_setPoint = x;
    m_codeStart = m_codeEnd = DacCode(x);
    if (m_mode <= 3) return sendChannel(m_mode);
    if (m_mode == kModeLastChannelAlias) return sendChannel(3);
    if (m_mode == kModeModuleReset) return sendReset(kCmdModuleReset);
    if (m_mode == kModeDacReset) return sendReset(kCmdDacReset);
    SetError(kErrExchange);
    return -2;
}

int Ttp78d7::Reset() {
    if (!CanExchange()) return 0;
    return sendReset(kCmdModuleReset);
}

void Ttp78d7::StartUp() {
    if (m_mode <= 8 && m_mode != kModeModuleReset)
        SetValue(m_cfgSetPoint);
    else
        Reset();
}

int Ttp78d7::sendChannel(int channelIndex) {
    Ttp6606* link = LinkObject();
    const auto data = ChannelRequest(channelIndex, m_codeStart);
    std::copy(data.begin(), data.end(), link->Buf);
    link->SendFrame(Line(), Addr(), static_cast<int>(data.size()), kCmdChannel);
    const int result = link->ReceiveFrame(Line());
    if (result == -1 || result == -3) {
        SetError(kErrExchange);
        return result == -1 ? -2 : -3;
    }
    SetError(kErrOk);
    return 0;
}

int Ttp78d7::sendReset(int cmd) {
    Ttp6606* link = LinkObject();
    link->SendCmd(Line(), Addr(), cmd);
    if (link->ReceiveFrame(Line()) == -1) {
        SetError(kErrExchange);
        return -2;
    }
    return 0;
}

}  // namespace yukt
