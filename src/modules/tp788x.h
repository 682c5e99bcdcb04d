#pragma once
// 788x: frequency and interval generator with backward/forward counting.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp78x8.h"

namespace yukt {

class Ttp788x : public Ttp78x8 {
  public:
    explicit Ttp788x(ModuleContext& ctx);

    // Period (both), interval and mode (as SetMode stores it), then Apply;
    // Error 5 when Apply fails, else 0. A frequency with no period is refused
    // with nothing changed (result -1). Apply's result.
    int RunSetting(const GeneratorSetting& setting);
};

struct Tp788xTraits {
    using Driver = Ttp788x;
    static constexpr std::string_view kCode = "788x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-788x ",
        ";Задатчик частоты и интервала ",
        ";Модуль Номер COM Link Адрес Кварц,кГц Частота,Гц Интервал,сек. Направление (0-Назад "
        "1-Вперед 2-Перекл.)",
        "; 788x    1    5   8    8    7374.6110   100.0       20.0            2",
    };
    static constexpr std::string_view kDatHeader = kGeneratorDatHeader;

    using Columns = GeneratorColumns;
    static bool ReadColumns(CfgReader& in, Columns& c) {
        return ReadGeneratorColumns(in, c, &Ttp78x8::ModeFor);
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

// "Set 788x N f t d": frequency, interval in s, mode; all three must convert.
std::optional<GeneratorSetting> Parse788xSet(const std::string& w4, const std::string& w5,
                                             const std::string& w6);

// RunSetting on the first present 788x numbered `number`; -1 when none.
int SetModule(ModelTable<Tp788xTraits>& table, int number, const GeneratorSetting& setting);

}  // namespace yukt
