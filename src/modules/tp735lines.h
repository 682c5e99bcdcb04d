#pragma once
// Result-line pieces shared by the frequency, count and interval drivers: the
// number formats, the lines of a module that failed or never answered, the
// poll and memory lines of the two-channel models, and the "set" forms.

#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "modules/model_table.h"
#include "modules/tp73channels.h"

namespace yukt {

// v in fixed notation with d decimals, right-aligned in at least w characters.
std::string Fix(double v, int w, int d);
// A 0/1 flag or count as a plain decimal integer.
std::string IntText(long long v);

// " 735x    2   Err 5": a present module whose state request failed.
std::string FailedLine735(std::string_view code, int number);
// The line of a module that did not answer identification, per destination.
std::string AbsentLine735(std::string_view code, int number, Route route);

// A line split in two: the measured part and the part after it.
struct LineHalves {
    std::string Head;
    std::string Tail;
    std::string Full() const { return Head + Tail; }
};

// How a two-channel model prints its counters: "$" and eight hex digits, or
// (the virtual module) a blank and the digits.
enum class CounterHex { Dollar, Blank };

// Polls a two-channel module: state, both channels and the ЭМС counters. On a
// failed state request sets Error 5 and returns false with the failure line
// in `out.Head`; otherwise Error 0, the head built and the tail left to the
// caller.
bool PollTwoChannel(Ttp73Channels& d, std::string_view code, CounterHex hex, LineHalves& out);
// The tail of 735t, 735d and 735v: flags, F1, quartz, outputs, F2, ЭМС.
std::string TwoChannelTail(const Ttp73Channels& d);

// Bank number of "mem1" / "mem2", 0 for any other word.
int MemBank(std::string_view bankName);
// Reads a bank into `out`: "735t 2 " and " " + text, or the failure line.
// Nothing for an absent module (both halves empty).
void ReadMemoryLineTwoChannel(Ttp73Channels& d, std::string_view code, int bank, LineHalves& out);

// The data word of a memory "set" as the module stores it: cut or extended
// with NUL characters to 16 characters.
std::string FitMemoryText(const std::string& word);

// A word of a "set" form that must be the integer 0 or 1.
bool ParseSwitch(const std::string& word, int& v);

// The outputs/dividers "set" form of 735t, 735d and 735v; `words` are the
// five words after the module number: o1 o2 x y m. Mode m 0: x, y are the
// relays (0/1), both dividers become 1.0 and the outputs are sent. Mode 1: x,
// y are the dividers (reals), both relays 0, and the dividers are sent (the
// outputs are stored only). False, with nothing changed or sent, when a word
// does not convert or is out of range.
template <class Driver>
bool ApplyOutputsOrDividers(Driver& d, const std::vector<std::string>& words) {
    int o1 = 0, o2 = 0, mode = 0, r1 = 0, r2 = 0;
    double d1 = 1.0, d2 = 1.0;
    if (words.size() < 5 || !ParseSwitch(words[0], o1) || !ParseSwitch(words[1], o2) ||
        !ParseSwitch(words[4], mode))
        return false;
    if (mode == 0) {
        if (!ParseSwitch(words[2], r1) || !ParseSwitch(words[3], r2)) return false;
    } else if (!StrToFloatStrict(words[2], d1) || !StrToFloatStrict(words[3], d2)) {
        return false;
    }
    d.SetOut1(o1);
    d.SetOut2(o2);
    d.SetRele1(r1);
    d.SetRele2(r2);
    d.SetDivider1(d1);
    d.SetDivider2(d2);
    if (mode == 0)
        d.WriteOutputs();
    else
        d.WriteDividers(d1, d2);
    return true;
}

}  // namespace yukt
