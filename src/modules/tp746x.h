#pragma once
// 746x: a thermocouple input whose cold junction is measured by an RTD channel.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp74x1.h"

namespace yukt {

class Ttp746x : public Ttp74x1 {
  public:
    explicit Ttp746x(ModuleContext& ctx);

    // Thermocouple conversion after Measure: Ux from the third reading, Tx0
    // (cold junction at 0 °C) and Tx20 (compensated with the measured Tx).
    // Returns Tx20; -100 for a module that is not present.
    double MeasureTc();

    // Temperature of EMF e (mV) with the cold junction at tcj °C: RangeLow - 1
    // below the table, RangeHigh + 1 above it.
    double TC(double e, double tcj) const;
    // Thermocouple EMF, mV, of a third reading valC.
    static double UxOf(double valC, double uRef) { return uRef / 65536 / 16 * valC; }

    // 0 < x < 5000 mV, else ignored.
    void SetURef(double x);
    double URef() const { return m_uRef; }
    double Ux() const { return m_ux; }
    double Tx0() const { return m_tx0; }
    double Tx20() const { return m_tx20; }

  private:
    std::array<double, 256> m_tcSlopes{};
    double m_ux = 0;
    double m_uRef = 2500.0;
    double m_tx0 = 0;
    double m_tx20 = 0;
};

struct Tp746xTraits {
    using Driver = Ttp746x;
    static constexpr std::string_view kCode = "746x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-746x",
        ";Измерение температуры термопары    (1-платина, 2-медь, 3-ЕВРО платина ) ",
        ";Модуль  Номер  COM  Link  Адрес   Rэтал.   ГОСТ   U ref )",
        "; 746x     1     5     8     5    91.85776    2    2500.0",
    };
    static constexpr std::string_view kDatHeader =
        ";Модуль Номер    Tx       Rx       Ret100     Ux      Tx0      Tx20";
    static constexpr std::string_view kConsoleHeader =
        ";Модуль Номер    Tx       Rx    Ret100     Ux     Tx0     Tx20";

    struct Columns {
        double RRef = 0;
        int Gost = 0;
        double URef = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver&) {}
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

}  // namespace yukt
