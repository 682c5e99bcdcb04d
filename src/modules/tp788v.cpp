#include "modules/tp788v.h"

#include "common/text.h"

namespace yukt {

Ttp788v::Ttp788v(ModuleContext& ctx) : Ttp78v8(ctx) {
    SetName("Модуль задатчика частоты и интервала (ЮКТ-788v)");
    SetRangeHigh(300000);
    SetRangeLow(30);
}

int Ttp788v::RunSetting(const Generator788vSetting& setting) {
    if (setting.Times) {
        SetP1(setting.P[0]);
        SetP2(setting.P[1]);
        SetP3(setting.P[2]);
        SetP4(setting.P[3]);
        SetMode(setting.Mode);
    } else {
        const std::optional<double> freq = UsableFrequency(setting.FreqHz, 2);
        if (!freq) return -1;
        SetMode(2);
        SetPeriod(1000000 / *freq);
    }
    const int r = Apply();
    SetError(r < 0 ? kErrExchange : kErrOk);
    return r;
}

std::optional<Generator788vSetting> Parse788vSet(const std::string& w4, const std::string& w5,
                                                 const std::string& w6, const std::string& w7,
                                                 const std::string& w8) {
    Generator788vSetting s;
    if (!w6.empty()) {
        const std::string* words[4] = {&w4, &w5, &w6, &w7};
        if (!StrToIntStrict(w8, s.Mode) || (s.Mode != 6 && s.Mode != 7)) return std::nullopt;
        for (int i = 0; i < 4; ++i)
            if (!StrToFloatStrict(*words[i], s.P[i])) return std::nullopt;
        s.Times = true;
        return s;
    }
    if (w5 == "2") {
        if (!StrToFloatStrict(w4, s.FreqHz)) return std::nullopt;
        s.Times = false;
        s.Mode = 2;
        return s;
    }
    return std::nullopt;
}

int SetModule(ModelTable<Tp788vTraits>& table, int number, const Generator788vSetting& setting) {
    Ttp788v* m = table.FirstPresent(number);
    if (m == nullptr) return -1;
    return m->RunSetting(setting);
}

}  // namespace yukt
