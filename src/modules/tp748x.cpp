#include "modules/tp748x.h"

#include "link/tp6606.h"

namespace yukt {

ShuntReading ShuntCurrent(double u, double shunt) {
    ShuntReading r;
    r.amps = u / shunt;
    if (r.amps > 8 && r.amps < 12) r.shuntAt10 = u / 10;
    return r;
}

Ttp748x::Ttp748x(ModuleContext& ctx) : Ttp74xx(ctx) {
    SetName("Модуль измерения тока 0..20 мА. (ЮКТ-748x)");
    SetRangeHigh(22);
    SetRangeLow(0);
}

void Ttp748x::SetShunt(int channel, double x) {
    SetError(kErrOk);
    if (!valid(channel)) return;
    if (x >= 5 && x <= 5000)
        m_shunt[channel - 1] = x;
    else
        SetError(kErrParameter);
}

void Ttp748x::SetURef(double x) {
    if (x > 0 && x < 5000) m_uRef = x;
}

double Ttp748x::MeasureAmps() {
    if (!Present() || Port() == 0) return 0;
    Ttp6606* link = LinkObject();
    bool ok = false;
    if (link != nullptr && link->IsOpen()) {
        link->SetLine(Line());
        link->SetAddr(Addr());
        ok = ReadTriple(Line(), Addr()) == 0;
    }
    // Recomputed from the last codes received, also after a failed exchange.
    const double codes[3] = {static_cast<double>(RawA()), static_cast<double>(RawB()),
                             static_cast<double>(RawC24())};
    for (int k = 0; k < 3; ++k) {
        const double u = MvOf24(codes[k], m_uRef);
        const ShuntReading r = ShuntCurrent(u, m_shunt[k]);
        m_amps[k] = r.amps;
        m_shuntAt10[k] = r.shuntAt10;
    }
    SetError(ok ? kErrOk : kErrExchange);
    return m_amps[0];
}

bool Tp748xTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.URef) && in.ReadReal(c.Shunt[0]) && in.ReadReal(c.Shunt[1]) &&
           in.ReadReal(c.Shunt[2]);
}

void Tp748xTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetURef(c.URef);
    for (int k = 1; k <= 3; ++k) d.SetShunt(k, c.Shunt[k - 1]);
}

std::string Tp748xTraits::ResultLine(Driver& d, Route route) {
    d.MeasureAmps();
    const std::string n = std::to_string(d.Number());
    if (d.Error() == kErrExchange)
        return route == Route::Reply ? "748x " + n + " Err 5" : " 748x     " + n + "   Err 5";
    const std::string i1 = Field73(d.Amps(1)), i2 = Field73(d.Amps(2)), i3 = Field73(d.Amps(3));
    // A shunt value is shown only when the current was near 10 mA.
    auto shunt = [&](int k, const std::string& sep, const std::string& placeholder) {
        const double s = d.ShuntAt10(k);
        return s >= kShuntShownFrom ? sep + Field73(s) : placeholder;
    };
    switch (route) {
        case Route::Dat:
            return " 748x     " + n + "   " + i1 + "  " + i2 + "  " + i3 +
                   shunt(1, "  ", "    0    ") + shunt(2, "  ", "    0    ") +
                   shunt(3, "  ", "    0    ");
        case Route::Console:
            return " 748x     " + n + "   " + i1 + " " + i2 + " " + i3 +
                   shunt(1, "   ", "     0     ") + shunt(2, "  ", "     0     ") +
                   shunt(3, "  ", "     0     ");
        case Route::Reply:
            return "748x     " + n + "   " + i1 + " " + i2 + " " + i3 + shunt(1, " ", " 0 ") +
                   shunt(2, " ", " 0 ") + shunt(3, " ", " 0 ");
        case Route::Link:
            break;
    }
    return " 748x     " + n + "   " + i1 + " " + i2 + " " + i3 + shunt(1, " ", "      0     ") +
           shunt(2, " ", "      0     ") + shunt(3, " ", "      0     ");
}

std::string Tp748xTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    return route == Route::Reply ? "748x " + n + " Err 4" : " 748x     " + n + "   Err 4";
}

}  // namespace yukt
