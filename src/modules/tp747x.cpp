#include "modules/tp747x.h"

#include "link/tp6606.h"

namespace yukt {

Ttp747x::Ttp747x(ModuleContext& ctx) : Ttp74xx(ctx) {
    SetName("Модуль измерения напряжения до 100 мВ. (ЮКТ-747x)");
    SetRangeHigh(110);
    SetRangeLow(0);
}

void Ttp747x::SetURef(double x) {
    if (x > 0 && x < 5000) m_uRef = x;
}

double Ttp747x::MeasureVolts() {
    if (!Present() || Port() == 0) return 0;
    Ttp6606* link = LinkObject();
    bool ok = false;
    if (link != nullptr && link->IsOpen()) {
        link->SetLine(Line());
        link->SetAddr(Addr());
        ok = ReadTriple(Line(), Addr()) == 0;
    }
    // The third channel comes as a 16-bit reading but is scaled like the
    // 24-bit ones.
    m_volts[0] = VoltsOf(RawA(), m_uRef);
    m_volts[1] = VoltsOf(RawB(), m_uRef);
    m_volts[2] = VoltsOf(RawC16(), m_uRef);
    SetError(ok ? kErrOk : kErrExchange);
    return m_volts[0];
}

bool Tp747xTraits::ReadColumns(CfgReader& in, Columns& c) { return in.ReadReal(c.URef); }

void Tp747xTraits::ApplyColumns(Driver& d, const Columns& c) { d.SetURef(c.URef); }

std::string Tp747xTraits::ResultLine(Driver& d, Route route) {
    d.MeasureVolts();
    const std::string n = std::to_string(d.Number());
    const std::string u1 = Field73(d.Volts(1)), u2 = Field73(d.Volts(2)), u3 = Field73(d.Volts(3));
    const bool failed = d.Error() == kErrExchange;
    switch (route) {
        case Route::Dat:
            if (failed) return " 747x     " + n + "  Err 5";
            return " 747x     " + n + "   " + u1 + "  " + u2 + "  " + u3;
        case Route::Console:
            if (failed) return " 747x    " + n + "  Err 5";
            return " 747x     " + n + "  " + u1 + " " + u2 + " " + u3;
        case Route::Reply:
            if (failed) return "747x " + n + " Err 5";
            return "747x " + n + " " + u1 + " " + u2 + " " + u3;
        case Route::Link:
            break;
    }
    if (failed) return " 747x     " + n + "  Err 5";
    return " 747x     " + n + "  " + u1;
}

std::string Tp747xTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    switch (route) {
        case Route::Dat:
            return " 747x     " + n + "   Err 4";
        case Route::Reply:
            return "747x " + n + " Err 4";
        case Route::Console:
        case Route::Link:
            break;
    }
    return " 747x     " + n + "  Err 4";
}

}  // namespace yukt
