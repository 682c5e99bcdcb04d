#pragma once
// Set-point logic of the current/voltage generator 787x: modes, full scales,
// the correction table of the corrected 0..24 mA mode, the DAC code and the
// seven-byte set-point request.

#include <array>
#include <cstdint>

#include "modules/tp7xxx.h"

namespace yukt {

// Link command of the generators' set-point request.
constexpr int kCmdSetPoint = 1;
// Internal mode (Режим - 1) that clears the output.
constexpr std::uint8_t kModeClear = 4;

class Ttp78x7 : public Ttp7xxx {
  public:
    explicit Ttp78x7(ModuleContext& ctx) : Ttp7xxx(ctx) {}

    // Mode 0 → SetVoltage, 1..3 and 5..8 → SetCurrent, anything else → Clear.
    // Also the start-up action with the cfg set-point.
    void DispatchMode(double x);
    // Allowed only in mode 0 / only in modes other than 0 and 4; a call in
    // another mode is a broken configuration and stops the program.
    void SetVoltage(double x);
    void SetCurrent(double x);
    // Computes the DAC code for the current mode and sends it; does nothing
    // for a module that is not present or has no open link.
    void SetValue(double x);
    // Sends the current codes with the clear mode byte; Mode is kept.
    void Clear();
    // 0 on success, -2 when no valid reply came, -3 when the module refused.
    int SendSetPoint();

    double SetPoint() const { return m_setPoint; }
    std::uint8_t Mode() const { return m_mode; }
    // Internal (0-based) mode; the Режим column and the "Set" argument minus 1.
    void SetMode(std::uint8_t mode) { m_mode = mode; }
    std::uint16_t CodeStart() const { return m_codeStart; }
    std::uint16_t CodeEnd() const { return m_codeEnd; }
    std::uint16_t ThirdWord() const { return m_thirdWord; }

    // Set-point of the cfg line, applied by the start-up action.
    double CfgSetPoint() const { return m_cfgSetPoint; }
    void SetCfgSetPoint(double x) { m_cfgSetPoint = x; }

    // Correction of the corrected mode at x mA, µA (single precision).
    static float Correction(double x);
    // DAC code of set-point x in `mode`, limited to the mode's range.
    static std::uint16_t DacCode(std::uint8_t mode, double x);
    // The mode byte sent for an internal mode.
    static std::uint8_t ModeByte(std::uint8_t mode);
    // The seven data bytes of the set-point request.
    static std::array<std::uint8_t, 7> SetPointRequest(std::uint8_t modeByte,
                                                       std::uint16_t codeStart,
                                                       std::uint16_t codeEnd,
                                                       std::uint16_t thirdWord);

  private:
    double m_setPoint = 0;
    std::uint8_t m_mode = 3;
    std::uint16_t m_codeStart = 0;
    std::uint16_t m_codeEnd = 0;
    std::uint16_t m_thirdWord = 32000;
    double m_cfgSetPoint = 0;
};

}  // namespace yukt
