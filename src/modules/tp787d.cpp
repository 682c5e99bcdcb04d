#include "modules/tp787d.h"

namespace yukt {

Ttp787d::Ttp787d(ModuleContext& ctx) : Ttp78d7(ctx) {
    SetName("Модуль задатчика тока 4-20 ма по 4 каналам (ЮКТ-787d)");
    SetRangeHigh(24);
    SetRangeLow(0);
}

bool Tp787dTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.SetPoint) && in.ReadInt(c.Mode);
}

void Tp787dTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetCfgSetPoint(c.SetPoint);
    d.SetMode(static_cast<std::uint8_t>(c.Mode - 1));
}

std::string Tp787dTraits::ResultLine(Driver& d, Route route) {
    return GeneratorLine(kCode, d, d.SetPoint(), d.Mode(), route);
}

std::string Tp787dTraits::AbsentLine(const Driver& d, Route route) {
    return GeneratorAbsentLine(kCode, d, route);
}

void SetModule(ModelTable<Tp787dTraits>& table, int number, int mode, double x) {
    table.ForEach([&](Ttp787d& m) {
        if (!m.Present() || m.Number() != number) return;
        m.SetMode(static_cast<std::uint8_t>(mode - 1));
        m.SetValue(x);
    });
}

}  // namespace yukt
