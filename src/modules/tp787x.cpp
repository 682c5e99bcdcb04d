#include "modules/tp787x.h"

#include "common/text.h"

namespace yukt {

Ttp787x::Ttp787x(ModuleContext& ctx) : Ttp78x7(ctx) {
    SetName("Модуль задатчика тока и напряжения (ЮКТ-787x)");
    SetRangeHigh(24);
    SetRangeLow(0);
}

bool Tp787xTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.SetPoint) && in.ReadInt(c.Mode);
}

void Tp787xTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetCfgSetPoint(c.SetPoint);
    d.SetMode(static_cast<std::uint8_t>(c.Mode - 1));
}

std::string Tp787xTraits::ResultLine(Driver& d, Route route) {
    return GeneratorLine(kCode, d, d.SetPoint(), d.Mode(), route);
}

std::string Tp787xTraits::AbsentLine(const Driver& d, Route route) {
    return GeneratorAbsentLine(kCode, d, route);
}

void SetModule(ModelTable<Tp787xTraits>& table, int number, int mode, double x) {
    table.ForEach([&](Ttp787x& m) {
        if (!m.Present() || m.Number() != number) return;
        m.SetMode(static_cast<std::uint8_t>(mode - 1));
        m.DispatchMode(x);
    });
}

std::string GeneratorLine(std::string_view code, const Ttp7xxx& d, double setPoint,
                          std::uint8_t mode, Route route) {
    const std::string c(code);
    const std::string n = std::to_string(d.Number());
    const std::string value = Fmt("%9.5f", setPoint);
    const std::string modeText = std::to_string((mode & 127) + 1);
    if (route == Route::Reply) {
        if (d.Error() == kErrExchange) return c + " " + n + " Err 5";
        return c + " " + n + "  " + value + "  " + modeText;
    }
    if (d.Error() == kErrExchange) return " " + c + "     " + n + "  Err 5";
    return " " + c + "     " + n + "   " + value + "   " + modeText;
}

std::string GeneratorAbsentLine(std::string_view code, const Ttp7xxx& d, Route route) {
    const std::string c(code);
    const std::string n = std::to_string(d.Number());
    if (route == Route::Reply) return c + " " + n + " Err 4";
    return " " + c + "     " + n + "   Err 4";
}

}  // namespace yukt
