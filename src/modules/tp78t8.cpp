#include "modules/tp78t8.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/text.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

constexpr double kSpan = 65536;
constexpr int kCounterAnswerLen = 7;  // 24-bit pulses, ticks, reload
constexpr int kSignedAnswerLen = 5;   // echo, then the 32-bit count
constexpr int kCmdCounters = 3;
constexpr std::uint8_t kCountRequest = 5;

std::uint16_t low16(std::int64_t v) {
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(v) & 0xFFFF);
}

// Whole part toward zero, kept inside the 32-bit range.
std::int64_t truncated(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483648LL;
    return static_cast<std::int64_t>(std::trunc(x));
}

// A field's frequency, 0 where the interval is 0 (nothing to divide by).
double perSecond(double count, double intervalUs) {
    return intervalUs == 0 ? 0 : count * 1000000 / intervalUs;
}

}  // namespace

void TFreqGenerator::SetQuartz(double kHz) {
    SetError(kErrOk);
    if (kHz >= 1000 && kHz <= 32000)
        m_quartzKHz = kHz;
    else
        SetError(kErrParameter);
}

std::int32_t TFreqGenerator::Nearest(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    double f = std::floor(x);
    double rest = x - f;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(f, 2.0) != 0)) f += 1;
    return static_cast<std::int32_t>(f);
}

double TFreqGenerator::FractionalCount(const std::uint8_t* a, double s, double periodUs,
                                       double widthUs) {
    const double pulses = a[0] | (a[1] << 8) | (a[2] << 16);
    const double sinceLast = (a[3] | (a[4] << 8)) / s;
    double reload = (kSpan - (a[5] | (a[6] << 8))) / s;
    if (reload < 1) reload = 1;
    const double v = widthUs > periodUs ? widthUs - periodUs : widthUs;
    return pulses - 1 + (periodUs - v) / periodUs + sinceLast / reload;
}

double TFreqGenerator::SignedCount(const std::uint8_t* b) {
    const std::uint32_t v =
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    const double count = v & 0x7FFFFF;
    return (v & 0x800000) ? count : 0 - count;  // 0 - 0 is +0: no "-0" in lines
}

void TFreqGenerator::Plan() {
    const double s = TicksPerUs();
    std::int64_t r = Nearest(m_periodUs * s);
    std::int64_t p = ((r % 65536) + 65536) % 65536;
    if (p == 0) p = 65536;
    m_plannedIntervalUs = m_intervalUs;
    m_plannedCount = m_intervalUs / (p / s);
}

TimingFrame TFreqGenerator::Quantise(int spanOffset) {
    const double s = TicksPerUs();
    TimingFrame f;
    f.D = low16(-static_cast<std::int64_t>(Nearest(m_periodUs * s)));
    f.Small = f.D < 4081;
    m_periodUs = (kSpan - f.D) / s;
    f.D2 = low16(-static_cast<std::int64_t>(Nearest(m_period2Us * s)));
    m_period2Us = (kSpan - f.D2) / s;

    f.W = low16(Nearest(m_widthUs * m_periodUs * s));
    m_widthUs = f.W / s;

    f.Secs = static_cast<std::uint8_t>(truncated(m_intervalUs / 1000000) & 0xFF);
    const double t = m_intervalUs * s;
    const std::int64_t k = truncated(t / kSpan) - spanOffset;
    f.K = low16(k);
    m_wholeSpan = static_cast<double>(k + 2) * kSpan;
    m_restSpan = t - m_wholeSpan;
    f.R = low16(Nearest(m_restSpan));
    m_intervalUs = (f.R + m_wholeSpan) / s;
    return f;
}

int TFreqGenerator::exchange(int cmd, const std::uint8_t* data, int count) {
    Ttp6606& link = *LinkObject();
    for (int i = 0; i < count; ++i) link.Buf[i] = data[i];
    link.SendFrame(Line(), Addr(), count, cmd);
    return link.ReceiveFrame(Line()) == -1 ? -2 : 0;
}

int TFreqGenerator::readCounters() {
    if (!CanExchange()) return 0;
    if (exchange(kCmdCounters, nullptr, 0) != 0) return -2;
    const Ttp6606& link = *LinkObject();
    // An answer too short to hold the counters would leave old bytes in play.
    if (link.RecvLen < kCounterAnswerLen) return -2;
    if (m_periodUs < 1) m_periodUs = 1;
    m_measuredCount = FractionalCount(link.Buf, TicksPerUs(), m_periodUs, m_widthUs);
    return 0;
}

int TFreqGenerator::readSignedCount() {
    if (!CanExchange()) return 0;
    const std::uint8_t request = kCountRequest;
    if (exchange(1, &request, 1) != 0) return -2;
    const Ttp6606& link = *LinkObject();
    if (link.RecvLen < kSignedAnswerLen) return -2;
    m_plannedCount = SignedCount(link.Buf + 1);
    return 0;
}

// ---- 788t ---------------------------------------------------------------

std::uint8_t Ttp78t8::ModeFor(int m) {
    switch (m) {
        case 0:
        case 1:
        case 3:
        case 4:
        case 5:
            return static_cast<std::uint8_t>(m);
        default:
            return 2;
    }
}

int Ttp78t8::Apply() {
    SetError(kErrOk);
    if (Mode() == 2) {
        Plan();
        return 0;
    }
    setWidth(0.5);
    if (!CanExchange()) return 0;
    const TimingFrame f = Quantise(Mode() == 4 ? 0 : 2);
    switch (Mode()) {
        case 0:
        case 1: {
            const std::uint8_t data[10] = {
                static_cast<std::uint8_t>(f.D),        static_cast<std::uint8_t>(f.D >> 8),
                static_cast<std::uint8_t>(kFixedWord), static_cast<std::uint8_t>(kFixedWord >> 8),
                static_cast<std::uint8_t>(f.W),        static_cast<std::uint8_t>(f.W >> 8),
                static_cast<std::uint8_t>(f.K),        static_cast<std::uint8_t>(f.K >> 8),
                static_cast<std::uint8_t>(f.R),        static_cast<std::uint8_t>(f.R >> 8)};
            return exchange(Mode() == 0 ? 4 : 2, data, 10);
        }
        case 3: {
            if (f.Small) {
                const std::uint8_t data[1] = {2};
                return exchange(1, data, 1);
            }
            const std::uint8_t data[3] = {1, static_cast<std::uint8_t>(f.D),
                                          static_cast<std::uint8_t>(f.D >> 8)};
            return exchange(1, data, 3);
        }
        case 4: {
            const std::uint8_t data[5] = {
                3, static_cast<std::uint8_t>(f.K), static_cast<std::uint8_t>(f.K >> 8),
                static_cast<std::uint8_t>(f.R), static_cast<std::uint8_t>(f.R >> 8)};
            return exchange(1, data, 5);
        }
        case 5: {
            const std::uint8_t data[6] = {4,
                                          static_cast<std::uint8_t>(f.D),
                                          static_cast<std::uint8_t>(f.D >> 8),
                                          f.Secs,
                                          static_cast<std::uint8_t>(TargetCount()),
                                          static_cast<std::uint8_t>(TargetCount() >> 8)};
            return exchange(1, data, 6);
        }
        default:
            return -1;
    }
}

int Ttp78t8::ReadCount() {
    SetError(kErrOk);
    switch (Mode()) {
        case 5:
            return readSignedCount();
        case 0:
        case 1:
        case 4:
            return readCounters();
        default:
            return 0;
    }
}

GeneratorValues Ttp78t8::ReportedValues() const {
    if (Mode() == 5) return GeneratorValues::SignedCount;
    if (Mode() == 2 || Mode() == 3) return GeneratorValues::Planned;
    return GeneratorValues::Measured;
}

// ---- shared -------------------------------------------------------------

namespace {

// The frequency column. "NaN" is a value, one that gives no period, so the
// line is refused on its own instead of being malformed.
bool readFrequency(CfgReader& in, double& freqHz) {
    std::string word = in.ReadToken();
    if (word.empty()) {
        freqHz = 0;
        return true;
    }
    if (StrToFloatStrict(word, freqHz)) return true;
    std::string unsignedWord = word.substr(word[0] == '+' || word[0] == '-' ? 1 : 0);
    for (char& ch : unsignedWord)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (unsignedWord == "nan") {
        freqHz = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    in.Fail(BadNumber(word));
    return false;
}

}  // namespace

bool ReadGeneratorColumns(CfgReader& in, GeneratorColumns& c, std::uint8_t (*modeFor)(int)) {
    if (!in.ReadReal(c.QuartzKHz) || !readFrequency(in, c.FreqHz) || !in.ReadReal(c.IntervalS) ||
        !in.ReadInt(c.Mode))
        return false;
    if (modeFor(c.Mode) != 3 && !(c.FreqHz > 0 && std::isfinite(c.FreqHz)))
        c.Refused =
            CfgError{in.FileName(), in.LineNumber(),
                     "частота " + FloatToStr(c.FreqHz) + " Гц не задает период, строка не принята"}
                .message();
    return true;
}

std::optional<double> UsableFrequency(double freqHz, int mode) {
    if (mode == 3 && freqHz < 30) return 29.0;
    if (!(freqHz > 0) || !std::isfinite(freqHz)) return std::nullopt;
    return freqHz;
}

std::string GeneratorCountLine(std::string_view code, const TFreqGenerator& d, Route route,
                               int readResult, GeneratorValues values) {
    const std::string c(code);
    const std::string n = std::to_string(d.Number());
    const bool failed = readResult != 0;
    if (route == Route::Reply) {
        if (failed) return c + " " + n + " " + " 0 " + " " + " 0 " + " " + " 0";
        switch (values) {
            case GeneratorValues::SignedCount:
                // The count stands alone; the count and interval fields are empty.
                return c + " " + n + " " + " " + " " + Fmt("%10.0f", d.PlannedCount());
            case GeneratorValues::Planned:
                return c + " " + n + " " + Fmt("%10.3f", d.PlannedCount()) + " " +
                       Fmt("%10.6f", d.PlannedIntervalUs() / 1000000) + " " +
                       Fmt("%10.5f", perSecond(d.PlannedCount(), d.PlannedIntervalUs()));
            case GeneratorValues::Measured:
                break;
        }
        return c + " " + n + " " + Fmt("%10.3f", d.MeasuredCount()) + " " +
               Fmt("%10.6f", d.IntervalUs() / 1000000) + " " +
               Fmt("%10.5f", perSecond(d.MeasuredCount(), d.IntervalUs()));
    }
    const std::string prefix = " " + c + "     " + n + "    ";
    if (route == Route::Link) {
        if (failed) return prefix + "   0    " + "    " + "   0    " + "    " + "   0    ";
        return prefix + Fmt("%10.3f", d.MeasuredCount()) + "    " +
               Fmt("%10.3f", d.IntervalUs() / 1000000) + "    " +
               Fmt("%10.5f", perSecond(d.MeasuredCount(), d.IntervalUs()));
    }
    if (failed) return prefix + "   0    " + "     " + "   0  " + "    " + "   0  ";
    return prefix + Fmt("%10.3f", d.MeasuredCount()) + "    " +
           Fmt("%10.3f", d.IntervalUs() / 1000000) + "    " +
           Fmt("%10.5f", perSecond(d.MeasuredCount(), d.IntervalUs()));
}

std::string GeneratorCountAbsentLine(std::string_view code, const TFreqGenerator& d, Route route) {
    const std::string c(code);
    const std::string n = std::to_string(d.Number());
    if (route == Route::Reply) return c + " " + n + " Err 4";
    return " " + c + "     " + n + "    Err 4";
}

}  // namespace yukt
