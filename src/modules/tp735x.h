#pragma once
// Driver of the frequency, pulse-count and event-interval module 735x.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp735lines.h"
#include "modules/tp73xx.h"

namespace yukt {

class Ttp735x : public Ttp73xx {
  public:
    explicit Ttp735x(ModuleContext& ctx);

    // Reads the module (state, counters, events) and builds its result line;
    // nothing happens for an absent module.
    void Poll();
    const std::string& LineHead() const { return m_line.Head; }
    const std::string& LineTail() const { return m_line.Tail; }

    // The "set" form o1 o2 r1 r2 c (each 0 or 1): outputs and relays sent,
    // then the detectors reset when c is 1. False, with nothing changed or
    // sent, when a word is not 0 or 1.
    bool ApplySetCommand(const std::vector<std::string>& words);

  private:
    LineHalves m_line;
};

struct Tp735xTraits {
    using Driver = Ttp735x;
    static constexpr std::string_view kCode = "735x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-735x",
        ";Измерение частоты,числа импульсов и времени между двумя событиями",
        ";Модуль Номер COM Link Адрес  Кварц,кГц  OUT1 OUT2 Rele1 Rele2 (1-Вкл. 0-Выкл.)",
        "; 735x    1    5    8    2   7374.29780   1    1     1     1 ",
    };
    // The data file and console carry no legend for this model.
    static constexpr std::string_view kDatHeader = "";
    // Legend of the result line (kept for tools and the documentation).
    static constexpr std::string_view kLegendHead =
        ";Модуль Номер   Расход     Время    Период,мкс.  D1 D2   N,имп.   Интервал,сек.";
    static constexpr std::string_view kLegendTail =
        " K1 K2   F,Гц   Резонатор1000,кГц  OUT1 OUT2 Rele1 Rele2";

    struct Columns {
        double Quartz = 0;
        int Out1 = 0, Out2 = 0, Rele1 = 0, Rele2 = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver& d);
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route) {
        return AbsentLine735(kCode, d.Number(), route);
    }
};

}  // namespace yukt
