#pragma once
// 787d: four 0..24 mA generator outputs, one per channel.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp787x.h"
#include "modules/tp78d7.h"

namespace yukt {

class Ttp787d : public Ttp78d7 {
  public:
    explicit Ttp787d(ModuleContext& ctx);
};

struct Tp787dTraits {
    using Driver = Ttp787d;
    static constexpr std::string_view kCode = "787d";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-787d",
        ";Задатчик тока по 4 каналам                    номер канала  сброс модуля  сброс ЦАП",
        ";Модуль  Номер  COM  Link  Адрес    мА    Режим   1,2,3,4         5            6 )",
        "; 787d     1     5     8     9    10.000    4",
    };
    static constexpr std::string_view kDatHeader = "";

    struct Columns {
        double SetPoint = 0;
        int Mode = 0;  // Режим, 1-based
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver& d) { d.StartUp(); }
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

// The "Set 787d N x k" command: every present module numbered `number` gets
// Режим `mode` (1-based) and set-point x; the mode alone decides what is sent.
void SetModule(ModelTable<Tp787dTraits>& table, int number, int mode, double x);

}  // namespace yukt
