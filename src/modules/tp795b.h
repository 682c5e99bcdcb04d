#pragma once
// 795b: an indication console with eight rows of eight numeric displays.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp76xx.h"

namespace yukt {

class Ttp795b : public Ttp76xx {
  public:
    explicit Ttp795b(ModuleContext& ctx);

    // The value the cfg line puts on every display at start ("Tx3").
    double StartValue() const { return m_startValue; }
    void SetStartValue(double v) { m_startValue = v; }
    // Every display of the console shows `value`; the rows' results are not
    // looked at (a console that misses a row shows it at the next update).
    void ShowEverywhere(double value);

  private:
    double m_startValue = 0;
};

struct Tp795bTraits {
    using Driver = Ttp795b;
    static constexpr std::string_view kCode = "795b";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-795b",
        ";Пульт для \"Вельмарской ГЭС",
        ";Модуль  Номер  COM  Link  Адрес    Tx3",
        "; 795b     1     5    23     5     99.9",
    };
    // The console reports only to the instrument component.
    static constexpr std::string_view kDatHeader = "";
    static constexpr bool kHasReload = false;

    struct Columns {
        double Tx3 = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c) { return in.ReadReal(c.Tx3); }
    static void ApplyColumns(Driver& d, const Columns& c) { d.SetStartValue(c.Tx3); }
    static void StartUp(Driver& d) { d.ShowEverywhere(d.StartValue()); }
    // Nothing is measured: the line reports the state of the last exchange.
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

// "Set 795b N k x1 .. x8": Display on the first present module numbered
// `number`. Display's result, or -1 when no such module is present.
int SetModule(ModelTable<Tp795bTraits>& table, int number, int row,
              const Ttp76xx::DisplayValues& values);

}  // namespace yukt
