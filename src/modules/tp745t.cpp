#include "modules/tp745t.h"

#include "modules/tp74xx.h"

namespace yukt {

Ttp745t::Ttp745t(ModuleContext& ctx) : Ttp74x1(ctx) {
    SetName("Модуль измерения температуры и тока (ЮКТ-745t)");
    SetRangeHigh(60);
    SetRangeLow(-60);
    SetMaterial(1);
}

void Ttp745t::SetURef(double x) {
    if (x > 0 && x < 5000) m_uRef = x;
}

void Ttp745t::SetRShunt(double x) {
    if (x > 10 && x < 5000) m_rShunt = x;
}

Ttp745t::CurrentReading Ttp745t::CurrentOf(double valC, double uRef, double rShunt) {
    // The top 16 bits of the 24-bit third reading over the reference voltage.
    const double u = (valC / 256) * (uRef / 65536);
    CurrentReading r;
    // A module configured without a valid shunt reads no current rather than
    // an infinite one.
    r.ix = rShunt > 0 ? u / rShunt : 0;
    if (r.ix > 9 && r.ix < 11) r.rsnt10 = u / 10;
    return r;
}

double Ttp745t::Current() {
    if (!Present()) return 0;
    const CurrentReading r = CurrentOf(ValC(), m_uRef, m_rShunt);
    m_rsnt10 = r.rsnt10;
    return r.ix;
}

bool Tp745tTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.RShunt) && in.ReadReal(c.RRef) && in.ReadInt(c.Gost) &&
           in.ReadReal(c.URef);
}

void Tp745tTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetRShunt(c.RShunt);
    d.SetRRef(c.RRef);
    d.SetMaterial(c.Gost);
    d.SetURef(c.URef);
}

std::string Tp745tTraits::ResultLine(Driver& d, Route route) {
    const double tx = d.Measure();
    const double ix = d.Current();
    const std::string n = std::to_string(d.Number());
    if (d.Error() == kErrExchange)
        return route == Route::Reply ? "745t " + n + " Err 5" : " 745t     " + n + "  Err 5";
    const std::string t = Field73(tx), r = Field73(d.Rx()), r100 = Field73(d.Ret100()),
                      i = Field73(ix), s = Field73(d.Rsnt10());
    switch (route) {
        case Route::Dat:
            return " 745t     " + n + "  " + t + " " + r + "    " + r100 + "  " + i + "  " + s;
        case Route::Console:
            return " 745t     " + n + "   " + t + " " + r + " " + r100 + " " + i + " " + s;
        case Route::Reply:
            return "745t " + n + " " + t + " " + r + " " + r100 + " " + i + " " + s;
        case Route::Link:
            break;
    }
    return " 745t     " + n + "  " + t + " " + r + "   " + r100 + "  " + i + "  " + s;
}

std::string Tp745tTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    switch (route) {
        case Route::Reply:
            return "745t " + n + " Err 4";
        case Route::Console:
            return " 745t      " + n.substr(0, 20) + "      Err 4  \"Нет модуля на линии\"";
        case Route::Dat:
        case Route::Link:
            break;
    }
    return " 745t     " + n + "  Err 4";
}

}  // namespace yukt
