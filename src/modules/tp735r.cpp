#include "modules/tp735r.h"

#include <cmath>
#include <stdexcept>

#include "common/text.h"

namespace yukt {

namespace {

// A counter word of a poll line: "$" and up to eight hex digits, or a decimal
// integer; taken as the 32-bit counter value.
bool counterWord(const std::string& word, std::uint32_t& v) {
    const bool hex = !word.empty() && word[0] == '$';
    const std::string digits = hex ? word.substr(1) : word;
    if (digits.empty() || digits.size() > (hex ? 8u : 11u)) return false;
    std::size_t used = 0;
    long long x = 0;
    try {
        x = std::stoll(digits, &used, hex ? 16 : 10);
    } catch (const std::exception&) {
        return false;
    }
    if (used != digits.size() || (hex && (digits[0] == '-' || digits[0] == '+'))) return false;
    v = static_cast<std::uint32_t>(x);
    return true;
}

double signOf(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

}  // namespace

std::string EvaluateFlowmeter(const std::string& startLine, const std::string& currentLine,
                              FlowmeterState& state) {
    std::uint32_t a0 = 0, b0 = 0, a1 = 0, b1 = 0;
    if (GetColumn(startLine, 1) != "735r" || !counterWord(GetColumn(startLine, 3), a0) ||
        !counterWord(GetColumn(startLine, 4), b0))
        return "";
    if (GetColumn(currentLine, 1) != "735r") return "";
    const std::string number = GetColumn(currentLine, 2);
    double tick = 0;
    if (!StrToFloatStrict(GetColumn(currentLine, 5), tick) || tick < 0.5 || tick > 0.6) return "";
    const std::string qz = GetColumn(currentLine, 11);
    const std::string direction = GetColumn(currentLine, 8);
    if (!counterWord(GetColumn(currentLine, 3), a1) || !counterWord(GetColumn(currentLine, 4), b1))
        return "";

    const std::uint32_t dP = a1 - a0;
    const std::uint32_t dT = b1 - b0;
    const double t1 = dP != 0 ? static_cast<double>(dT) * tick / dP : -1.0;
    double dT1 = state.PrevT1 > 0 ? (t1 - state.PrevT1) * 1000 : t1 * 1000;
    if (direction == "0") dT1 = -dT1;
    const double shown = signOf(dT1) * (std::fabs(state.PrevDT1) + std::fabs(dT1)) / 2;
    state.PrevT1 = t1;
    state.PrevDT1 = dT1;
    return CommaToPoint("735r " + number + " T1=" + Fmt("%.6f", t1) + " " +
                        " dT1=" + Fmt("%.6f", shown) + " " + " QZ=" + qz);
}

Ttp735r::Ttp735r(ModuleContext& ctx) : Ttp73rr(ctx) {
    SetName("Модуль измерение частоты по двум каналам (ЮКТ-735r)");
    SetRangeHigh(35000);
    SetRangeLow(1);
}

void Ttp735r::Poll() {
    if (!Present()) return;
    if (!PollTwoChannel(*this, Tp735rTraits::kCode, CounterHex::Dollar, m_line)) return;
    // No outputs and no ЭМС values on this model's line.
    m_line.Tail = " " + IntText(K1()) + " " + IntText(K2()) + "  " + Fix(Frequency1(), 9, 4) +
                  "  " + Fix(MeasuredQuartzKHz(), 10, 5) + "       " + IntText(Rele1()) + " " +
                  IntText(Rele2()) + " " + Fix(Frequency2(), 9, 4);
}

void Ttp735r::ReadMemoryLine(std::string_view bankName) {
    ReadMemoryLineTwoChannel(*this, Tp735rTraits::kCode, MemBank(bankName), m_line);
}

std::string Ttp735r::FlowmeterStep() {
    m_phase = m_phase >= 3 ? 1 : m_phase + 1;
    if (m_phase == 1) {
        Poll();
        m_startLine = m_line.Full();
        return "";
    }
    if (m_phase == 2) return "";
    Poll();
    const std::string current = m_line.Full();
    // Swap the transducers' roles for the next measurement.
    SetRele1(0);
    SetRele2(1);
    WriteOutputs();
    SetRele1(1);
    SetRele2(0);
    WriteOutputs();
    return EvaluateFlowmeter(m_startLine, current, m_flow);
}

bool Ttp735r::ApplySetCommand(const std::vector<std::string>& words) {
    int r1 = 0, r2 = 0;
    if (words.size() < 2 || !ParseSwitch(words[0], r1) || !ParseSwitch(words[1], r2)) return false;
    SetRele1(r1);
    SetRele2(r2);
    WriteOutputs();
    return true;
}

std::string Tp735rTraits::ResultLine(Driver& d, Route route) {
    if (route == Route::Reply) return d.FlowmeterStep();
    d.Poll();
    return d.LineHead() + d.LineTail();
}

std::string Tp735rTraits::MemoryReply(Driver& d, std::string_view bankName) {
    if (!d.Present()) return AbsentLine(d, Route::Reply);
    d.ReadMemoryLine(bankName);
    return d.LineHead() + d.LineTail();
}

}  // namespace yukt
