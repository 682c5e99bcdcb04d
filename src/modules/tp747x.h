#pragma once
// 747x: three voltage inputs up to 100 mV.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp74xx.h"

namespace yukt {

class Ttp747x : public Ttp74xx {
  public:
    explicit Ttp747x(ModuleContext& ctx);

    // Polls the module; the voltage of channel 1, mV (0 when not present).
    double MeasureVolts();
    // mV of a code over the full 24-bit scale of the reference.
    static double VoltsOf(double code, double uRef) { return code * (uRef / 65536 / 16 / 256); }

    // 0 < x < 5000 mV, else ignored.
    void SetURef(double x);
    double URef() const { return m_uRef; }
    double Volts(int channel) const {
        return (channel >= 1 && channel <= 3) ? m_volts[channel - 1] : 0;
    }

  private:
    std::array<double, 3> m_volts{};
    double m_uRef = 2500.0;
};

struct Tp747xTraits {
    using Driver = Ttp747x;
    static constexpr std::string_view kCode = "747x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-747x",
        ";Измерение напряжения до 100 мВ.",
        ";Модуль  Номер  COM  Link  Адрес  U ref",
        "; 747x     1     5     8     7    2500.0",
    };
    static constexpr std::string_view kDatHeader = ";Модуль номер    U1    U2    U3";
    static constexpr std::string_view kConsoleHeader = ";Модуль номер    U1    U2    U3";

    struct Columns {
        double URef = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver&) {}
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

}  // namespace yukt
