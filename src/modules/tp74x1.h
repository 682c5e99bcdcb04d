#pragma once
// The resistance-thermometer base: resistance from the codes of a measured and
// a reference resistor, temperature from the nominal characteristic of the
// selected sensor material, and the per-channel references and corrections of
// the 32-channel model.

#include <array>
#include <cstdint>

#include "modules/tp74xx.h"

namespace yukt {

// Temperatures reported for a resistance outside a material's accepted range.
constexpr double kTempBelowRange = -300;
constexpr double kTempAboveRange = 3000;
// What Measure returns for a module that is not polled.
constexpr double kTempNotPolled = -100;

class Ttp74x1 : public Ttp74xx {
  public:
    explicit Ttp74x1(ModuleContext& ctx);

    // 5..5000 Ω, else Error 9 and the value stays.
    void SetRRef(double x);
    void SetRRefGroup(int group, double x);  // group 1..4
    void SetRRefGroup1(double x) { SetRRefGroup(1, x); }
    void SetRRefGroup2(double x) { SetRRefGroup(2, x); }
    void SetRRefGroup3(double x) { SetRRefGroup(3, x); }
    void SetRRefGroup4(double x) { SetRRefGroup(4, x); }
    // Channel 1..32 (others ignored); |x| above 5000 Ω gives Error 9.
    void SetChanOffset(int index, double x);
    float GetChanOffset(int index) const;
    // Channel 1..32 (others ignored); a outside 1..99 gives Error 9.
    void SetChanParam(int index, int a);
    int GetChanParam(int index) const;
    // The "ГОСТ" column: 1 (also 0 and above 6) platinum W=1.3910, 2 copper
    // W=1.4280, 3 platinum EURO, 4 platinum W=1.3850, 5 copper W=1.4260,
    // 6 copper 53 Ω.
    void SetMaterial(int gost);

    // Temperature of resistance r for the selected material; -300 below and
    // 3000 above the accepted range.
    double RtoT(double r) const;

    // One-channel read and conversion; returns Tx.
    double Measure();
    // Eight-channel group read and conversion; returns ChanT(1).
    double MeasureGroup();

    double ValA() const { return m_valA; }
    double ValB() const { return m_valB; }
    double ValC() const { return m_valC; }
    int GroupNo() const { return m_groupNo; }
    double RefVal() const { return m_refVal; }
    double ChanVal(int n) const { return (n >= 1 && n <= 8) ? m_chanVal[n - 1] : 0; }
    double ChanR(int n) const { return (n >= 1 && n <= 8) ? m_chanR[n - 1] : 0; }
    double ChanT(int n) const { return (n >= 1 && n <= 8) ? m_chanT[n - 1] : -300; }
    double RRef() const { return m_rRef; }
    double RRefGroup(int g) const { return (g >= 1 && g <= 4) ? m_rRefGroup[g - 1] : 0; }
    std::uint8_t Material() const { return m_material; }
    double Ret100() const { return m_ret100; }
    double Rx() const { return m_rx; }
    double Tx() const { return m_tx; }

  private:
    void computeSlopes();

    double m_valA = 0;
    double m_valB = 0;
    int m_groupNo = 0;
    double m_refVal = 0;
    std::array<double, 8> m_chanVal{};
    std::array<double, 8> m_chanR{};
    std::array<double, 8> m_chanT{};
    double m_valC = 0;
    std::array<double, 65> m_slopes{};
    std::array<double, 32> m_chanOffset{};
    std::array<int, 32> m_chanParam{};
    double m_rRef = 100.0;
    std::array<double, 4> m_rRefGroup{100.0, 100.0, 100.0, 100.0};
    std::uint8_t m_material = 0;
    double m_ret100 = 0;
    double m_rx = 100.0;
    double m_tx = 0;
};

}  // namespace yukt
