#pragma once
// 748x: three 0..20 mA current inputs, each through its own shunt.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp74xx.h"

namespace yukt {

// Shunt values below this are shown as a zero placeholder in result lines.
constexpr double kShuntShownFrom = 5;

// Current of a channel from its code (mV over the shunt), and the shunt that
// would make it exactly 10 mA when it is near 10 mA (else 0).
struct ShuntReading {
    double amps = 0;
    double shuntAt10 = 0;
};
ShuntReading ShuntCurrent(double u, double shunt);
// mV of a 24-bit code over the full scale of the reference.
inline double MvOf24(double code, double uRef) { return code / 65536 / 256 * uRef; }
// mV of a 12-bit code over the full scale of the reference.
inline double MvOf12(double code, double uRef) { return code / 4096 * uRef; }

class Ttp748x : public Ttp74xx {
  public:
    explicit Ttp748x(ModuleContext& ctx);

    // Polls the module; the current of channel 1, mA (0 when not present).
    double MeasureAmps();

    // Channel 1..3, 5..5000 Ω, else Error 9.
    void SetShunt(int channel, double x);
    // 0 < x < 5000 mV, else ignored.
    void SetURef(double x);

    double Shunt(int channel) const { return valid(channel) ? m_shunt[channel - 1] : 0; }
    double ShuntAt10(int channel) const { return valid(channel) ? m_shuntAt10[channel - 1] : 0; }
    double Amps(int channel) const { return valid(channel) ? m_amps[channel - 1] : 0; }
    double URef() const { return m_uRef; }

  private:
    static bool valid(int channel) { return channel >= 1 && channel <= 3; }

    std::array<double, 3> m_shunt{99.849, 99.859, 99.855};
    std::array<double, 3> m_shuntAt10{};
    double m_uRef = 2500.0;
    std::array<double, 3> m_amps{};
};

struct Tp748xTraits {
    using Driver = Ttp748x;
    static constexpr std::string_view kCode = "748x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-748x",
        ";Измерение тока 0..20 мА.",
        ";Модуль  Номер  COM  Link  Адрес  U ref    R1 ш.   R2 ш.   R3 ш.",
        "; 748x     1     5     8    11    2500.0  99.854  99.854  99.854",
    };
    static constexpr std::string_view kDatHeader =
        ";Модуль номер    I1       I2       I3      R1 ш.    R2 ш.    R3 ш.";
    static constexpr std::string_view kConsoleHeader =
        ";Модуль номер    I1      I2      I3       R1 ш.      R2 ш.      R3 ш.";

    struct Columns {
        double URef = 0;
        std::array<double, 3> Shunt{};
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver&) {}
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

}  // namespace yukt
