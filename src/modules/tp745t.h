#pragma once
// 745t: one RTD channel and one current channel through a shunt. The
// calibrator's reference meter is one; it can also be the module under test.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp74x1.h"

namespace yukt {

class Ttp745t : public Ttp74x1 {
  public:
    explicit Ttp745t(ModuleContext& ctx);

    // Current through the shunt, mA, from the last Measure; updates Rsnt10.
    // 0 for a module that is not present or has no valid shunt yet.
    double Current();

    struct CurrentReading {
        double ix = 0;      // mA
        double rsnt10 = 0;  // Ω, 0 unless 9 < ix < 11
    };
    // The conversion behind Current, for a third reading valC.
    static CurrentReading CurrentOf(double valC, double uRef, double rShunt);

    // 0 < x < 5000 mV, else ignored.
    void SetURef(double x);
    // 10 < x < 5000 Ω, else ignored.
    void SetRShunt(double x);

    double URef() const { return m_uRef; }
    double RShunt() const { return m_rShunt; }
    // Shunt that would make the last reading exactly 10 mA (0 unless 9 < I < 11).
    double Rsnt10() const { return m_rsnt10; }

  private:
    double m_uRef = 2500.0;
    double m_rShunt = 0;
    double m_rsnt10 = 0;
};

struct Tp745tTraits {
    using Driver = Ttp745t;
    static constexpr std::string_view kCode = "745t";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-745t",
        ";Измерение температуры и тока    (1-платина, 2-медь, 3-ЕВРО платина ) ",
        ";Модуль  Номер  COM  Link  Адрес  Rшунта.    Rэтал.   ГОСТ   U ref )",
        "; 745t     1     5     8     5   91.85776   91.85776    2    2500.0",
    };
    static constexpr std::string_view kDatHeader =
        ";Модуль Номер    Tx       Rx       Ret100     Ix      Rsnt10      ";
    static constexpr std::string_view kConsoleHeader =
        ";Модуль Номер    Tx       Rx    Ret100     Ix     Rsnt10";

    struct Columns {
        double RShunt = 0;
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
