#pragma once
// 787x: one generator output, a voltage 0..5000 mV or a current in one of
// several mA ranges. The calibrator's reference generator is one.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp78x7.h"

namespace yukt {

class Ttp787x : public Ttp78x7 {
  public:
    explicit Ttp787x(ModuleContext& ctx);
};

struct Tp787xTraits {
    using Driver = Ttp787x;
    static constexpr std::string_view kCode = "787x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-787x                  мВ       мА      мА      мА",
        ";Задатчик тока или напряжения                   0..5000   4..20   0..20   0..24  CLEAR ",
        ";Модуль  Номер  COM  Link  Адрес  мА/мВ   Режим   1         2       3      4       5 )",
        "; 787x     1     5     8     9    10.000    4",
    };
    // Generators write no data file and no console block.
    static constexpr std::string_view kDatHeader = "";

    struct Columns {
        double SetPoint = 0;
        int Mode = 0;  // Режим, 1-based
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    // Drives the output to the configured set-point (or clears it).
    static void StartUp(Driver& d) { d.DispatchMode(d.CfgSetPoint()); }
    // Number, set-point and Режим; generators are not measured. Dat and
    // Console give the Link form.
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

// The "Set 787x N x k" command: every present module numbered `number` is put
// in Режим `mode` (1-based) with set-point x.
void SetModule(ModelTable<Tp787xTraits>& table, int number, int mode, double x);

// Result lines of a generator (787x and 787d): number, set-point and Режим in
// the Link form (" 787x     " ...) or the component form ("787x " ...).
std::string GeneratorLine(std::string_view code, const Ttp7xxx& d, double setPoint,
                          std::uint8_t mode, Route route);
std::string GeneratorAbsentLine(std::string_view code, const Ttp7xxx& d, Route route);

}  // namespace yukt
