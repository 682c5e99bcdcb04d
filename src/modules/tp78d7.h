#pragma once
// Set-point logic of the four-channel current generator 787d: one 0..24 mA
// output per channel, plus module-reset and DAC-reset commands.

#include <array>
#include <cstdint>

#include "modules/tp7xxx.h"

namespace yukt {

class Ttp78d7 : public Ttp7xxx {
  public:
    explicit Ttp78d7(ModuleContext& ctx) : Ttp7xxx(ctx) {}

    // Stores the set-point and acts by Mode: 0..3 and 8 drive channel 1..4,
    // 4 resets the module, 5 resets the DAC, anything else fails with Error 5.
    // Does nothing for a module that is not present or has no open link.
    // 0 on success, -2 when no valid reply came (or the mode is not
    // supported), -3 when the module refused.
    int SetValue(double x);
    // Module reset (command 0) with Mode kept.
    int Reset();
    // The start-up action: modes 0..3 and 5..8 apply the cfg set-point, any
    // other mode resets the module.
    void StartUp();

    double SetPoint() const { return m_setPoint; }
    std::uint8_t Mode() const { return m_mode; }
    void SetMode(std::uint8_t mode) { m_mode = mode; }
    std::uint16_t CodeStart() const { return m_codeStart; }
    std::uint16_t CodeEnd() const { return m_codeEnd; }
    // Kept for symmetry with the single-output generator; never sent.
    std::uint16_t ThirdWord() const { return m_thirdWord; }

    double CfgSetPoint() const { return m_cfgSetPoint; }
    void SetCfgSetPoint(double x) { m_cfgSetPoint = x; }

    // DAC code of x mA, limited to 0..24 mA.
    static std::uint16_t DacCode(double x);
    // The two data bytes of a channel request (channel index 0..3).
    static std::array<std::uint8_t, 2> ChannelRequest(int channelIndex, std::uint16_t code);

  private:
    int sendChannel(int channelIndex);
    // A reset command without data: a missing reply is Error 5 and -2.
    int sendReset(int cmd);

    double m_setPoint = 0;
    std::uint8_t m_mode = 3;
    std::uint16_t m_codeStart = 0;
    std::uint16_t m_codeEnd = 0;
    std::uint16_t m_thirdWord = 32000;
    double m_cfgSetPoint = 0;
};

}  // namespace yukt
