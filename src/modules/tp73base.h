#pragma once
// What every frequency, count and interval module has: its quartz and timer
// tick, the quartz estimate from a reference input, the K1/K2 state flags, two
// outputs and two relays, and the output and state requests.

#include <cstdint>

#include "modules/tp7xxx.h"

namespace yukt {

class Ttp73Base : public Ttp7xxx {
  public:
    double QuartzKHz() const { return m_quartzKHz; }
    double TickUs() const { return m_tickUs; }
    double MeasuredQuartzKHz() const { return m_measuredQuartzKHz; }
    std::uint8_t K1() const { return m_k1; }
    std::uint8_t K2() const { return m_k2; }
    int Out1() const { return m_out1; }
    int Out2() const { return m_out2; }
    int Rele1() const { return m_rele1; }
    int Rele2() const { return m_rele2; }

    // 1000..32000 kHz, else Error 9 and nothing changes.
    void SetQuartz(double kHz);
    // 0 or 1, else Error 9 and nothing changes.
    void SetRele1(int v) { setSwitch(m_rele1, v); }
    void SetRele2(int v) { setSwitch(m_rele2, v); }

    // Sends the outputs and relays (command 1).
    int WriteOutputs();
    // Reads the state bytes (command 2) for K1 and K2.
    int ReadState();

  protected:
    Ttp73Base(ModuleContext& ctx, double quartzKHz, int out1, int out2);

    void SetOut1Checked(int v) { setSwitch(m_out1, v); }
    void SetOut2Checked(int v) { setSwitch(m_out2, v); }
    void SetMeasuredQuartz(double kHz) { m_measuredQuartzKHz = kHz; }

  private:
    void setSwitch(int& field, int v);

    double m_quartzKHz;
    double m_tickUs;
    double m_measuredQuartzKHz = 0;
    std::uint8_t m_k1 = 0;
    std::uint8_t m_k2 = 0;
    int m_out1;
    int m_out2;
    int m_rele1 = 0;
    int m_rele2 = 0;
};

// Command codes of the frequency modules.
namespace cmd73 {
constexpr int kOutputs = 1;
constexpr int kState = 2;
constexpr int kChannel1 = 3;
constexpr int kChannel2 = 4;
constexpr int kEvents = 5;  // events (735x); dividers and memory (two-channel)
constexpr int kEmc = 6;
}  // namespace cmd73

}  // namespace yukt
