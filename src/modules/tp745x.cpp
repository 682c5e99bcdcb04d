#include "modules/tp745x.h"

namespace yukt {

Ttp745x::Ttp745x(ModuleContext& ctx) : Ttp74x1(ctx) {
    SetName("Модуль измерения температуры по RTD (ЮКТ-745x)");
    SetRangeHigh(60);
    SetRangeLow(-60);
    SetMaterial(1);
}

bool Tp745xTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.RRef) && in.ReadInt(c.Gost);
}

void Tp745xTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetRRef(c.RRef);
    d.SetMaterial(c.Gost);
}

std::string Tp745xTraits::ResultLine(Driver& d, Route route) {
    const double tx = d.Measure();
    const std::string n = std::to_string(d.Number());
    if (d.Error() == kErrExchange) {
        switch (route) {
            case Route::Reply:
                return "745x " + n + " Err 5";
            case Route::Console:
                return " 745x     " + n + "   Err 5";
            case Route::Dat:
            case Route::Link:
                break;
        }
        return " 745x     " + n + "  Err 5";
    }
    const std::string t = Field73(tx), r = Field73(d.Rx()), r100 = Field73(d.Ret100());
    switch (route) {
        case Route::Dat:
            return " 745x     " + n + "  " + t + "  " + r + "   " + r100;
        case Route::Console:
            return " 745x     " + n + "   " + t + " " + r + "   " + r100;
        case Route::Reply:
            return "745x " + n + " " + t + " " + r + " " + r100;
        case Route::Link:
            break;
    }
    return " 745x     " + n + "  " + t + " " + r + "   " + r100;
}

std::string Tp745xTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    switch (route) {
        case Route::Reply:
            return "745x " + n + " Err 4";
        case Route::Console:
            return " 745x     " + n + "   Err 4";
        case Route::Dat:
        case Route::Link:
            break;
    }
    return " 745x     " + n + "  Err 4";
}

}  // namespace yukt
