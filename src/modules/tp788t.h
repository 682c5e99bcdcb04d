#pragma once
// 788t: the frequency and interval generator; number 1 of the calibrator is
// the reference source of the frequency, interval and pulse-count checks.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp78t8.h"

namespace yukt {

class Ttp788t : public Ttp78t8 {
  public:
    explicit Ttp788t(ModuleContext& ctx);

    // Runs a set command's setting: period, second period, interval, mode and
    // count, then Apply; Error 5 when Apply fails, else 0. In mode 3 a
    // frequency below 30 Hz runs at 29 Hz; a frequency with no period outside
    // mode 3 is refused with nothing changed (result -1). Apply's result.
    int RunSetting(const GeneratorSetting& setting);
};

struct Tp788tTraits {
    using Driver = Ttp788t;
    static constexpr std::string_view kCode = "788t";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-788t ",
        ";Задатчик частоты и интервала ",
        ";Модуль Номер COM Link Адрес Кварц,кГц Частота,Гц Интервал,сек. Направление (0-Назад "
        "1-Вперед 2-Перекл.)",
        "; 788t    1    5   8    8    7374.6110   100.0       20.0            2",
    };
    static constexpr std::string_view kDatHeader = kGeneratorDatHeader;

    using Columns = GeneratorColumns;
    static bool ReadColumns(CfgReader& in, Columns& c) {
        return ReadGeneratorColumns(in, c, &Ttp78t8::ModeFor);
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

// The forms of "Set 788t N w4 w5 w6 w7" (words lower case, "" when absent),
// tried in order:
//   F T N "5"       burst of N pulses       F T m (m 0, 1, 2)  interval T in mode m
//   F "2" / F "3"   calculation / continuous   T "4"           one interval at 100 Hz
//   "3"             continuous at 29 Hz
// Empty when no form matches or a number does not convert.
std::optional<GeneratorSetting> Parse788tSet(const std::string& w4, const std::string& w5,
                                             const std::string& w6, const std::string& w7);

// The set command on the first present 788t numbered `number`: RunSetting's
// result, or -1 when there is no such module.
int SetModule(ModelTable<Tp788tTraits>& table, int number, const GeneratorSetting& setting);

}  // namespace yukt
