#pragma once
// 788v: frequency and interval generator with four programmable times.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp78v8.h"

namespace yukt {

// The two forms of "Set 788v N ...".
struct Generator788vSetting {
    bool Times = true;                            // P1 P2 P3 P4 m (m 6 or 7)
    std::array<double, 4> P{100, 100, 100, 100};  // µs
    int Mode = 6;
    double FreqHz = 0;  // F "2": calculation only
};

class Ttp788v : public Ttp78v8 {
  public:
    explicit Ttp788v(ModuleContext& ctx);

    // The times and mode, or the calculation-only period, then Apply; Error 5
    // when Apply fails, else 0. A calculation with a frequency that has no
    // period is refused with nothing changed (result -1). Apply's result.
    int RunSetting(const Generator788vSetting& setting);
};

struct Tp788vTraits {
    using Driver = Ttp788v;
    static constexpr std::string_view kCode = "788v";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-788v ",
        ";Задатчик частоты и интервала ",
        ";Модуль Номер COM Link Адрес Кварц,кГц Частота,Гц Интервал,сек. Направление (0-Назад "
        "1-Вперед 2-Перекл.)",
        "; 788v    1    5   8    8    7374.6110   100.0       20.0            2",
    };
    static constexpr std::string_view kDatHeader = kGeneratorDatHeader;

    using Columns = GeneratorColumns;
    static bool ReadColumns(CfgReader& in, Columns& c) {
        return ReadGeneratorColumns(in, c, &Ttp78v8::ModeFor);
    }
    static void ApplyColumns(Driver& d, const Columns& c) { ApplyGeneratorColumns(d, c); }
    static void StartUp(Driver& d) { StartGenerator(d); }
    static std::string ResultLine(Driver& d, Route route) {
        return GeneratorResultLine(kCode, d, route);
    }
    static std::string AbsentLine(const Driver& d, Route route) {
        return GeneratorCountAbsentLine(kCode, d, route);
    }
};

// Words 4..8 of the set command (lower case, "" when absent): with word 6
// present, four reals and the mode 6 or 7 in word 8; with word 6 absent and
// word 5 "2", the frequency of a calculation. Empty when neither converts.
std::optional<Generator788vSetting> Parse788vSet(const std::string& w4, const std::string& w5,
                                                 const std::string& w6, const std::string& w7,
                                                 const std::string& w8);

// RunSetting on the first present 788v numbered `number`; -1 when none.
int SetModule(ModelTable<Tp788vTraits>& table, int number, const Generator788vSetting& setting);

}  // namespace yukt
