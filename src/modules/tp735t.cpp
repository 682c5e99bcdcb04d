#include "modules/tp735t.h"

namespace yukt {

Ttp735t::Ttp735t(ModuleContext& ctx) : Ttp73tt(ctx) {
    SetName("Модуль измерение частоты по двум каналам (ЮКТ-735t)");
    SetRangeHigh(35000);
    SetRangeLow(1);
}

void Ttp735t::Poll() {
    if (!Present()) return;
    if (PollTwoChannel(*this, Tp735tTraits::kCode, CounterHex::Dollar, m_line))
        m_line.Tail = TwoChannelTail(*this);
}

void Ttp735t::ReadMemoryLine(std::string_view bankName) {
    ReadMemoryLineTwoChannel(*this, Tp735tTraits::kCode, MemBank(bankName), m_line);
}

bool Tp735tTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.Quartz) && in.ReadInt(c.Out1) && in.ReadInt(c.Out2) &&
           in.ReadInt(c.Rele1) && in.ReadInt(c.Rele2) && in.ReadReal(c.Divider1) &&
           in.ReadReal(c.Divider2);
}

std::string Tp735tTraits::ResultLine(Driver& d, Route route) {
    d.Poll();
    std::string line = d.LineHead() + d.LineTail();
    if (route != Route::Reply) return line;
    d.ReadMemoryLine("mem1");
    line += d.LineTail();
    d.ReadMemoryLine("mem2");
    line += d.LineTail();
    return line;
}

std::string Tp735tTraits::MemoryReply(Driver& d, std::string_view bankName) {
    if (!d.Present()) return AbsentLine(d, Route::Reply);
    d.ReadMemoryLine(bankName);
    return d.LineHead() + d.LineTail();
}

}  // namespace yukt
