#include "modules/tp735d.h"

#include <algorithm>
#include <cmath>

#include "common/cp1251.h"
#include "common/text.h"

namespace yukt {

namespace {

// Records whose TA lies in this window (ticks at the nominal quartz) come
// from the reference resonator and give a quartz estimate.
constexpr double kQuartzWindowLow = 900000;
constexpr double kQuartzWindowHigh = 1100000;

std::uint32_t capture24(const std::string& b, std::size_t at) {
    auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(b[i]));
    };
    return byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16;
}

}  // namespace

QRecord EvaluateQRecord(const std::string& bytes, double tickUs) {
    QRecord r;
    const std::size_t start = bytes.find_first_not_of(' ');
    if (start == std::string::npos) return r;
    const std::string rec = bytes.substr(start);
    if (rec.size() != kQRecordLen || rec[0] != '\\') return r;
    std::array<std::uint32_t, 5> w{};
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = capture24(rec, 3 + 3 * i);
    std::array<std::uint32_t, 4> s{};
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = (w[i + 1] - w[i]) & 0xFFFFFF;
    std::sort(s.begin(), s.end());
    r.TA = (static_cast<double>(s[3]) + s[1]) * tickUs * 3;
    r.TB = (static_cast<double>(s[2]) + s[0]) * tickUs * 3;
    r.TauA = s[3] * tickUs * 3 / 1536;
    r.TauB = s[2] * tickUs * 3 / 1536;
    if (r.TauA != 0 && r.TauB != 0) {
        const double a = std::sqrt(r.TauA / r.TauB), b = std::sqrt(r.TauB / r.TauA);
        if (a != b) r.Q = 1 / (a - b);
    }
    return r;
}

Ttp735d::Ttp735d(ModuleContext& ctx) : Ttp73dd(ctx) {
    SetName("Модуль измерение частоты по двум каналам (ЮКТ-735d)");
    SetRangeHigh(35000);
    SetRangeLow(1);
}

void Ttp735d::Poll() {
    if (!Present()) return;
    if (PollTwoChannel(*this, Tp735dTraits::kCode, CounterHex::Dollar, m_line))
        m_line.Tail = TwoChannelTail(*this);
}

void Ttp735d::ReadMemoryLine(std::string_view bankName) {
    m_line = {};
    m_memBytes.clear();
    if (!Present()) return;
    if (ReadMemoryBytes(MemBank(bankName), m_memBytes) < 0) {
        SetError(kErrExchange);
        m_line.Head = FailedLine735(Tp735dTraits::kCode, Number());
        return;
    }
    SetError(kErrOk);
    m_line.Head = std::string(Tp735dTraits::kCode) + " " + IntText(Number()) + " ";
    m_line.Tail = " " + Cp1251ToUtf8(m_memBytes);
}

std::string Ttp735d::QFactorLine() {
    ReadMemoryLine("mem1");
    const std::string head = m_line.Head;
    std::array<std::string, 2> texts = {m_memBytes, ""};
    ReadMemoryLine("mem2");
    texts[1] = m_memBytes;

    std::string parts, quartz;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // A record is reported once, on the first cycle that reads it; a
        // failed read is no new record.
        if (texts[i].empty() || texts[i] == m_evaluated[i]) continue;
        m_evaluated[i] = texts[i];
        const QRecord rec = EvaluateQRecord(texts[i], TickUs());
        const int n = static_cast<int>(i) + 1;
        parts += Fmt(" tauA%d=%8.4f tauB%d=%8.4f Q%d=%8.4f", n, rec.TauA, n, rec.TauB, n, rec.Q);
        if (rec.TA > kQuartzWindowLow && rec.TA < kQuartzWindowHigh)
            quartz += Fmt(" QZ%d=%8.4f", n, 4000 / (1000000 / rec.TA * TickUs()));
    }
    std::string line = head + " " + parts + quartz;
    if (parts.empty() && quartz.empty() && line.find("Err") == std::string::npos) line += "  Err 6";
    return line;
}

std::string Ttp735d::QMemoryLine(std::string_view bankName) {
    const int n = MemBank(bankName);
    ReadMemoryLine(bankName);
    const QRecord rec = EvaluateQRecord(m_memBytes, TickUs());
    return m_line.Head + " " +
           Fmt(" TA%d=%10.3f TB%d=%10.3f tauA%d=%8.4f tauB%d=%8.4f Q%d=%8.4f", n, rec.TA, n, rec.TB,
               n, rec.TauA, n, rec.TauB, n, rec.Q);
}

std::string Tp735dTraits::ResultLine(Driver& d, Route route) {
    if (route == Route::Reply) return d.QFactorLine();
    d.Poll();
    return d.LineHead() + d.LineTail();
}

std::string Tp735dTraits::MemoryReply(Driver& d, std::string_view bankName) {
    if (!d.Present()) return AbsentLine(d, Route::Reply);
    return d.QMemoryLine(bankName);
}

}  // namespace yukt
