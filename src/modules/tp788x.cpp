#include "modules/tp788x.h"

#include "common/text.h"

namespace yukt {

Ttp788x::Ttp788x(ModuleContext& ctx) : Ttp78x8(ctx) {
    SetName("Модуль задатчика частоты и интервала (ЮКТ-788x)");
    SetRangeHigh(300000);
    SetRangeLow(30);
}

int Ttp788x::RunSetting(const GeneratorSetting& setting) {
    const std::optional<double> freq = UsableFrequency(setting.FreqHz, ModeFor(setting.Mode));
    if (!freq) return -1;
    SetPeriod(1000000 / *freq);
    SetPeriod2(1000000 / *freq);
    SetInterval(setting.IntervalS * 1000000);
    SetMode(setting.Mode);
    const int r = Apply();
    SetError(r < 0 ? kErrExchange : kErrOk);
    return r;
}

std::optional<GeneratorSetting> Parse788xSet(const std::string& w4, const std::string& w5,
                                             const std::string& w6) {
    GeneratorSetting s;
    if (!StrToFloatStrict(w4, s.FreqHz) || !StrToFloatStrict(w5, s.IntervalS) ||
        !StrToIntStrict(w6, s.Mode))
        return std::nullopt;
    return s;
}

int SetModule(ModelTable<Tp788xTraits>& table, int number, const GeneratorSetting& setting) {
    Ttp788x* m = table.FirstPresent(number);
    if (m == nullptr) return -1;
    return m->RunSetting(setting);
}

}  // namespace yukt
