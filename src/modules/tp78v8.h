#pragma once
// The 788v generator family: modes 0..7. Only modes 6 (four further times
// P1..P4) and 7 send anything; mode 2 plans like the other generators.

#include <array>
#include <cstdint>

#include "modules/tp78t8.h"

namespace yukt {

class Ttp78v8 : public TFreqGenerator {
  public:
    explicit Ttp78v8(ModuleContext& ctx) : TFreqGenerator(ctx) {}

    // 0..7 are kept; anything else is 2.
    static std::uint8_t ModeFor(int m) {
        return (m >= 0 && m <= 7) ? static_cast<std::uint8_t>(m) : 2;
    }
    void SetMode(int m) { setModeField(ModeFor(m)); }

    // The four times of mode 6, µs.
    double P1() const { return m_times[0]; }
    double P2() const { return m_times[1]; }
    double P3() const { return m_times[2]; }
    double P4() const { return m_times[3]; }
    void SetP1(double us) { m_times[0] = us; }
    void SetP2(double us) { m_times[1] = us; }
    void SetP3(double us) { m_times[2] = us; }
    void SetP4(double us) { m_times[3] = us; }

    // 0 (done, or nothing to do), -2 (no answer).
    int Apply();
    // 0 or -2; only the calculation mode reads nothing.
    int ReadCount();
    GeneratorValues ReportedValues() const;

  private:
    std::array<double, 4> m_times{100, 100, 100, 100};
};

}  // namespace yukt
