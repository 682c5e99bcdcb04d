#include "modules/tp788t.h"

#include "common/text.h"

namespace yukt {

Ttp788t::Ttp788t(ModuleContext& ctx) : Ttp78t8(ctx) {
    SetName("Модуль задатчика частоты и интервала (ЮКТ-788t)");
    SetRangeHigh(300000);
    SetRangeLow(30);
}

int Ttp788t::RunSetting(const GeneratorSetting& setting) {
    const std::optional<double> freq = UsableFrequency(setting.FreqHz, setting.Mode);
    if (!freq) return -1;
    SetPeriod(1000000 / *freq);
    SetPeriod2(1000000 / *freq);
    SetInterval(setting.IntervalS * 1000000);
    SetMode(setting.Mode);
    SetTargetCount(static_cast<std::uint16_t>(setting.Count));
    const int r = Apply();
    SetError(r < 0 ? kErrExchange : kErrOk);
    return r;
}

std::optional<GeneratorSetting> Parse788tSet(const std::string& w4, const std::string& w5,
                                             const std::string& w6, const std::string& w7) {
    // Defaults of the words a form leaves out.
    std::string freq = "100", interval = "5", count = "200", mode = "0";
    if (w7 == "5") {
        freq = w4, interval = w5, count = w6, mode = "5";
    } else if (w6 == "0" || w6 == "1" || w6 == "2") {
        freq = w4, interval = w5, mode = w6;
    } else if (w5 == "2" || w5 == "3") {
        freq = w4, mode = w5;
    } else if (w5 == "4") {
        interval = w4, mode = "4";
    } else if (w4 == "3") {
        freq = "0", mode = "3";
    } else {
        return std::nullopt;
    }
    GeneratorSetting s;
    if (!StrToIntStrict(mode, s.Mode) || !StrToFloatStrict(freq, s.FreqHz) ||
        !StrToFloatStrict(interval, s.IntervalS) || !StrToIntStrict(count, s.Count))
        return std::nullopt;
    return s;
}

int SetModule(ModelTable<Tp788tTraits>& table, int number, const GeneratorSetting& setting) {
    Ttp788t* m = table.FirstPresent(number);
    if (m == nullptr) return -1;
    return m->RunSetting(setting);
}

}  // namespace yukt
