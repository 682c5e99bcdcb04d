#include "modules/tp795b.h"

namespace yukt {

Ttp795b::Ttp795b(ModuleContext& ctx) : Ttp76xx(ctx) { SetName("Модуль Индикации (ЮКТ-795b)"); }

void Ttp795b::ShowEverywhere(double value) {
    DisplayValues values;
    values.fill(value);
    for (int row = 1; row <= kDisplayRows; ++row) Display(row, values);
}

std::string Tp795bTraits::ResultLine(Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    const bool failed = d.Error() == kErrExchange;
    if (route == Route::Reply) return failed ? "795b " + n + " Err 5" : "795b " + n + " ";
    if (failed) return " 795b     " + n + "    Err 5";
    return " 795b     " + n + "   " + PortText(d.P0()) + "  " + PortText(d.P1()) + "  " +
           PortText(d.P2()) + "  " + PortText(d.P3());
}

std::string Tp795bTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    if (route == Route::Reply) return "795b " + n + " Err 4";
    return " 795b     " + n + "    Err 4";
}

int SetModule(ModelTable<Tp795bTraits>& table, int number, int row,
              const Ttp76xx::DisplayValues& values) {
    Ttp795b* m = table.FirstPresent(number);
    if (m == nullptr) return -1;
    return m->Display(row, values);
}

}  // namespace yukt
