#include "modules/tp735v.h"

namespace yukt {

Ttp735v::Ttp735v(ModuleContext& ctx) : Ttp73vv(ctx) {
    SetName("Виртуальный модуль для работы с FLASH-памятью (ЮКТ-735v)");
    SetRangeHigh(35000);
    SetRangeLow(1);
}

void Ttp735v::Poll() {
    if (!Present()) return;
    if (PollTwoChannel(*this, Tp735vTraits::kCode, CounterHex::Blank, m_line))
        m_line.Tail = TwoChannelTail(*this);
}

void Ttp735v::ReadMemoryLine(std::string_view bankName) {
    ReadMemoryLineTwoChannel(*this, Tp735vTraits::kCode, MemBank(bankName), m_line);
}

std::string Ttp735v::FlashLine(const std::string& request) {
    std::string text;
    if (ReadFlash(request, text) < 0) {
        SetError(kErrExchange);
        return FailedLine735(Tp735vTraits::kCode, Number());
    }
    return std::string(Tp735vTraits::kCode) + " " + std::to_string(Number()) + " " + text;
}

std::string Tp735vTraits::ResultLine(Driver& d, Route) {
    d.Poll();
    return d.LineHead() + d.LineTail();
}

std::string Tp735vTraits::MemoryReply(Driver& d, std::string_view bankName) {
    if (!d.Present()) return AbsentLine(d, Route::Reply);
    d.ReadMemoryLine(bankName);
    return d.LineHead() + d.LineTail();
}

}  // namespace yukt
