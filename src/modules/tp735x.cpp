#include "modules/tp735x.h"

#include "common/text.h"

namespace yukt {

Ttp735x::Ttp735x(ModuleContext& ctx) : Ttp73xx(ctx) {
    SetName("Модуль измерение частоты,числа импульсов и времени между двумя событиями (ЮКТ-735x)");
    SetRangeHigh(35000);
    SetRangeLow(1);
}

void Ttp735x::Poll() {
    if (!Present()) return;
    const std::string number = IntText(Number());
    m_line.Tail.clear();
    if (ReadState() < 0) {
        SetError(kErrExchange);
        m_line.Head = FailedLine735(Tp735xTraits::kCode, Number());
        return;
    }
    SetError(kErrOk);
    // Only the state request decides "Err 5"; the others keep their last values.
    ReadCounters();
    ReadEventStatus();
    ReadEdgeTimes();
    ReadPulseCount();
    ReadEventTimes();
    const double intervalS = static_cast<double>(EventInterval()) * TickUs() / 1000000.0;
    m_line.Head = " 735x    " + number + "   " + Hex8(static_cast<std::uint32_t>(FlowCount())) +
                  "  " + Hex8(static_cast<std::uint32_t>(TimeCount())) + " " +
                  Fix(TickUs(), 10, 5) + "     " + IntText(Channel1Ready()) + " " +
                  IntText(Channel2Ready()) + " " + Fix(FractionalCount(), 10, 3) + " " +
                  Fix(intervalS, 12, 6);
    m_line.Tail = "      " + IntText(K1()) + " " + IntText(K2()) + " " + Fix(Frequency(), 9, 4) +
                  "    " + Fix(MeasuredQuartzKHz(), 10, 5) + "       " + IntText(Out1()) + "    " +
                  IntText(Out2()) + "     " + IntText(Rele1()) + "     " + IntText(Rele2());
}

bool Ttp735x::ApplySetCommand(const std::vector<std::string>& words) {
    int v[5] = {};
    if (words.size() < 5) return false;
    for (int i = 0; i < 5; ++i)
        if (!ParseSwitch(words[i], v[i])) return false;
    SetOut1(v[0]);
    SetOut2(v[1]);
    SetRele1(v[2]);
    SetRele2(v[3]);
    WriteOutputs();
    if (v[4] == 1) ResetDetectors();
    return true;
}

bool Tp735xTraits::ReadColumns(CfgReader& in, Columns& c) {
    return in.ReadReal(c.Quartz) && in.ReadInt(c.Out1) && in.ReadInt(c.Out2) &&
           in.ReadInt(c.Rele1) && in.ReadInt(c.Rele2);
}

void Tp735xTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetQuartz(c.Quartz);
    d.SetOut1(c.Out1);
    d.SetOut2(c.Out2);
    d.SetRele1(c.Rele1);
    d.SetRele2(c.Rele2);
}

void Tp735xTraits::StartUp(Driver& d) {
    d.WriteOutputs();
    d.ResetDetectors();
}

std::string Tp735xTraits::ResultLine(Driver& d, Route) {
    d.Poll();
    return d.LineHead() + d.LineTail();
}

}  // namespace yukt
