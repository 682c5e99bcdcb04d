#include "modules/tp748t.h"

#include "link/tp6606.h"

namespace yukt {

Ttp748t::Ttp748t(ModuleContext& ctx) : Ttp74xx(ctx) {
    SetName("Модуль измерения тока 0..20 мА. по 16-ти каналам");
    SetRangeHigh(22);
    SetRangeLow(0);
    m_shunt.fill(99.849);
}

void Ttp748t::SetShunt(int channel, double x) {
    SetError(kErrOk);
    if (!valid(channel)) return;
    if (x >= 5 && x <= 5000)
        m_shunt[channel - 1] = x;
    else
        SetError(kErrParameter);
}

double Ttp748t::MeasureAmps() {
    if (!Present() || Port() == 0) return 0;
    Ttp6606* link = LinkObject();
    bool ok = false;
    if (link != nullptr && link->IsOpen()) {
        link->SetLine(Line());
        link->SetAddr(Addr());
        ok = Read16(Line(), Addr()) == 0;
    }
    for (int k = 1; k <= kChannels; ++k) {
        const double u = MvOf12(Codes16(k), m_uRef);
        const ShuntReading r = ShuntCurrent(u, m_shunt[k - 1]);
        m_amps[k - 1] = r.amps;
        m_shuntAt10[k - 1] = r.shuntAt10;
    }
    SetError(ok ? kErrOk : kErrExchange);
    return m_amps[0];
}

bool Tp748tTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.ShuntLow) && in.ReadReal(c.ShuntHigh);
}

void Tp748tTraits::ApplyColumns(Driver& d, const Columns& c) {
    for (int k = 1; k <= 8; ++k) d.SetShunt(k, c.ShuntLow);
    for (int k = 9; k <= Ttp748t::kChannels; ++k) d.SetShunt(k, c.ShuntHigh);
}

std::string Tp748tTraits::ResultLine(Driver& d, Route route) {
    d.MeasureAmps();
    const std::string n = std::to_string(d.Number());
    if (d.Error() == kErrExchange)
        return route == Route::Reply ? "748t " + n + " Err 5" : " 748t     " + n + "   Err 5";
    // Channels 1..16 with `first` before channel 1 and `sep` between the others.
    auto currents = [&](const std::string& first, const std::string& sep) {
        std::string s = first + Field73(d.Amps(1));
        for (int k = 2; k <= Ttp748t::kChannels; ++k) s += sep + Field73(d.Amps(k));
        return s;
    };
    // The shunts of channels 8 and 9 stand for the two shunt columns of the cfg line.
    auto shunts = [&](const std::string& sep, const std::string& placeholder) {
        std::string s;
        for (int k : {8, 9}) {
            const double v = d.ShuntAt10(k);
            s += v >= kShuntShownFrom ? sep + Field73(v) : placeholder;
        }
        return s;
    };
    switch (route) {
        case Route::Dat:
            return " 748t     " + n + currents("   ", "  ") + shunts("  ", "    0    ");
        case Route::Console:
            return " 748t     " + n + currents("   ", " ") + shunts("   ", "     0     ");
        case Route::Reply:
            return "748t     " + n + currents("   ", " ") + shunts("   ", " 0.000");
        case Route::Link:
            break;
    }
    return " 748t     " + n + currents("  ", " ");
}

std::string Tp748tTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    return route == Route::Reply ? "748t " + n + " Err 4" : " 748t     " + n + "   Err 4";
}

}  // namespace yukt
