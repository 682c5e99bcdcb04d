#include "modules/tp735lines.h"

#include "common/cp1251.h"
#include "common/text.h"

namespace yukt {

namespace {

std::string counterHex(std::int32_t v, CounterHex style) {
    std::string text = Hex8(static_cast<std::uint32_t>(v));
    if (style == CounterHex::Blank) text[0] = ' ';
    return text;
}

}  // namespace

std::string Fix(double v, int w, int d) { return Fmt("%*.*f", w, d, v); }

std::string IntText(long long v) { return std::to_string(v); }

std::string FailedLine735(std::string_view code, int number) {
    return " " + std::string(code) + "    " + IntText(number) + "   Err 5";
}

std::string AbsentLine735(std::string_view code, int number, Route route) {
    const std::string c(code), n = IntText(number);
    switch (route) {
        case Route::Link:
            return " " + c + "    " + n + "   Err 4";
        case Route::Dat:
            return " " + c + "     " + n + "  Err 4";
        case Route::Console:
            return " " + c + "     " + n + "   Err 4";
        case Route::Reply:
            break;
    }
    return c + " " + n + " Err 4";
}

bool PollTwoChannel(Ttp73Channels& d, std::string_view code, CounterHex hex, LineHalves& out) {
    out.Tail.clear();
    if (d.ReadState() < 0) {
        d.SetError(kErrExchange);
        out.Head = FailedLine735(code, d.Number());
        return false;
    }
    d.SetError(kErrOk);
    // Failures of these reads leave their fields at the last values; only the
    // state request decides "Err 5".
    d.ReadChannel1();
    d.ReadChannel2();
    d.ReadEmc();
    out.Head = std::string(code) + " " + IntText(d.Number()) + " " +
               counterHex(d.FlowCount1(), hex) + " " + counterHex(d.TimeCount1(), hex) + " " +
               Fix(d.TickUs(), 10, 5) + "  " + counterHex(d.FlowCount2(), hex) + " " +
               counterHex(d.TimeCount2(), hex);
    return true;
}

std::string TwoChannelTail(const Ttp73Channels& d) {
    return " " + IntText(d.K1()) + " " + IntText(d.K2()) + "  " + Fix(d.Frequency1(), 9, 4) + "  " +
           Fix(d.MeasuredQuartzKHz(), 10, 5) + "       " + IntText(d.Out1()) + "    " +
           IntText(d.Out2()) + "     " + IntText(d.Rele1()) + " " + IntText(d.Rele2()) + " " +
           Fix(d.Frequency2(), 9, 4) + "  " + Hex8(static_cast<std::uint32_t>(d.Emc1())) + "  " +
           Hex8(static_cast<std::uint32_t>(d.Emc2()));
}

int MemBank(std::string_view bankName) {
    if (bankName == "mem1") return 1;
    if (bankName == "mem2") return 2;
    return 0;
}

void ReadMemoryLineTwoChannel(Ttp73Channels& d, std::string_view code, int bank, LineHalves& out) {
    out.Head.clear();
    out.Tail.clear();
    if (!d.Present()) return;
    std::string text;
    if (d.ReadMemory(bank, text) < 0) {
        d.SetError(kErrExchange);
        out.Head = FailedLine735(code, d.Number());
        return;
    }
    d.SetError(kErrOk);
    out.Head = std::string(code) + " " + IntText(d.Number()) + " ";
    out.Tail = " " + text;
}

std::string FitMemoryText(const std::string& word) {
    std::string text = CharPrefix(word, kMemTextLen);
    text.append(kMemTextLen - CharCount(text), '\0');
    return text;
}

bool ParseSwitch(const std::string& word, int& v) {
    int x = 0;
    if (!StrToIntStrict(word, x) || (x != 0 && x != 1)) return false;
    v = x;
    return true;
}

}  // namespace yukt
