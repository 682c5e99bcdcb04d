#pragma once
// 745x: one RTD channel.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp74x1.h"

namespace yukt {

class Ttp745x : public Ttp74x1 {
  public:
    explicit Ttp745x(ModuleContext& ctx);
};

struct Tp745xTraits {
    using Driver = Ttp745x;
    static constexpr std::string_view kCode = "745x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-745x",
        ";Измерение температуры по RTD",
        ";Модуль Номер COM Link Адрес Rэтал.  ГОСТ (1-платина, 2-медь, 3-ЕВРО платина )",
        "; 745x    1    5    8   12   99.998   1",
    };
    static constexpr std::string_view kDatHeader = ";Модуль Номер    Tx      Rx     Ret100";
    static constexpr std::string_view kConsoleHeader = ";Модуль Номер    Tx     Rx       Ret100";

    struct Columns {
        double RRef = 0;
        int Gost = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver&) {}
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

}  // namespace yukt
