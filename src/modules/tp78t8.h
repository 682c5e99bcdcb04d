#pragma once
// Frequency and interval generators. The PC does all the arithmetic: a
// frequency and an interval become 16-bit timer reloads, a pulse width and an
// interval split into whole 65536-tick spans plus a remainder; the module's
// counters become a fractional pulse count.
//
// TFreqGenerator holds what the three generator families (788t, 788x, 788v)
// share; Ttp78t8 is the 788t family, whose modes the others vary.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp7xxx.h"

namespace yukt {

// What the set commands and cfg lines give a generator.
struct GeneratorSetting {
    double FreqHz = 100;
    double IntervalS = 5;
    int Count = 200;
    int Mode = 0;
};

// What a generator's result line reports.
enum class GeneratorValues {
    Measured,     // counters read back from the module
    Planned,      // the calculation-only plan, nothing read
    SignedCount,  // the signed pulse count of the burst mode
};

// The reloads and spans that one Apply sends.
struct TimingFrame {
    std::uint16_t D = 0;    // period reload, 65536 - ticks
    std::uint16_t D2 = 0;   // reload of the second period
    bool Small = false;     // D < 4081: period longer than 61455 ticks
    std::uint16_t W = 0;    // pulse width, ticks
    std::uint16_t K = 0;    // whole 65536-tick spans of the interval (less the offset)
    std::uint16_t R = 0;    // remainder of the interval, ticks
    std::uint8_t Secs = 0;  // whole seconds of the interval
};

class TFreqGenerator : public Ttp7xxx {
  public:
    explicit TFreqGenerator(ModuleContext& ctx) : Ttp7xxx(ctx) {}

    static constexpr double kDefaultQuartzKHz = 7374.6075308;
    // The reload value sent ahead of the width in the full timing frame.
    static constexpr std::uint16_t kFixedWord = 400;

    double QuartzKHz() const { return m_quartzKHz; }
    double PeriodUs() const { return m_periodUs; }
    double Period2Us() const { return m_period2Us; }
    double WidthUs() const { return m_widthUs; }
    double IntervalUs() const { return m_intervalUs; }
    double PlannedIntervalUs() const { return m_plannedIntervalUs; }
    double PlannedCount() const { return m_plannedCount; }
    double MeasuredCount() const { return m_measuredCount; }
    double WholeSpan() const { return m_wholeSpan; }
    double RestSpan() const { return m_restSpan; }
    std::uint8_t Mode() const { return m_mode; }
    std::uint16_t TargetCount() const { return m_targetCount; }

    // Error 0; 1000..32000 kHz is stored, anything else gives Error 9.
    void SetQuartz(double kHz);
    void SetPeriod(double us) { m_periodUs = us; }
    void SetPeriod2(double us) { m_period2Us = us; }
    void SetInterval(double us) { m_intervalUs = us; }
    void SetTargetCount(std::uint16_t n) { m_targetCount = n; }

    // Timer ticks per µs: the module timer runs at a quarter of the quartz.
    double TicksPerUs() const { return m_quartzKHz / 4000; }

    // x to the nearest integer, halves to even; beyond the 32-bit range the
    // nearest bound (not a number: 0).
    static std::int32_t Nearest(double x);
    // The pulse count of a 7-byte counter answer: 24-bit pulses, then the
    // ticks since the last pulse and the reload in progress.
    static double FractionalCount(const std::uint8_t* answer, double ticksPerUs, double periodUs,
                                  double widthUs);
    // The burst mode's count from 4 answer bytes: bit 23 set counts up,
    // clear counts down (negative).
    static double SignedCount(const std::uint8_t* fourBytes);

    // The calculation-only mode: the pulses that the interval will hold.
    void Plan();
    // Quantises period, second period, width and interval to what the module
    // produces (the fields then hold the produced values) and returns the
    // words to send. `spanOffset` spans are taken off K (2, or 0 when the
    // interval runs in whole spans).
    TimingFrame Quantise(int spanOffset);

  protected:
    void setModeField(std::uint8_t m) { m_mode = m; }
    void setWidth(double us) { m_widthUs = us; }
    // Sends `data` with `cmd` and waits for the reply: 0, or -2 when none came
    // (a refusal counts as an answer).
    int exchange(int cmd, const std::uint8_t* data, int count);
    // The counter read of the counting modes: 0 or -2.
    int readCounters();
    // The burst mode's count read: 0 or -2.
    int readSignedCount();

  private:
    double m_quartzKHz = kDefaultQuartzKHz;
    double m_periodUs = 10000;
    double m_period2Us = 10000;
    double m_widthUs = 0.5;
    double m_intervalUs = 20000000;
    double m_plannedIntervalUs = 0;
    double m_plannedCount = 0;
    double m_measuredCount = 0;
    double m_wholeSpan = 0;
    double m_restSpan = 0;
    std::uint8_t m_mode = 2;
    std::uint16_t m_targetCount = 0;
};

// The 788t family: modes 0 backward, 1 forward, 2 calculation only, 3 a
// continuous frequency, 4 one interval, 5 a burst of TargetCount pulses.
class Ttp78t8 : public TFreqGenerator {
  public:
    explicit Ttp78t8(ModuleContext& ctx) : TFreqGenerator(ctx) {}

    // 0, 1, 3, 4, 5 are kept; anything else is 2.
    static std::uint8_t ModeFor(int m);
    void SetMode(int m) { setModeField(ModeFor(m)); }

    // Programs the module: 0 (done, or nothing to do), -1 (mode not
    // supported), -2 (no answer).
    int Apply();
    // Reads the module's counters: 0 or -2.
    int ReadCount();
    // What the result lines report in the current mode.
    GeneratorValues ReportedValues() const;
};

// ---- shared by the three generator models' files ------------------------

// The generators' cfg columns after Номер COM Link Адрес.
struct GeneratorColumns {
    double QuartzKHz = 0;
    double FreqHz = 0;
    double IntervalS = 0;
    int Mode = 0;
    // Why the line's settings are refused ("file, строка n: ..."); empty
    // when they are usable. The module table reports it and keeps the
    // module's settings as they were.
    std::string Refused;
};
// Reads Кварц,кГц Частота,Гц Интервал,сек. Направление. A frequency that
// gives no period (0, negative, not finite) refuses the line's settings
// (Refused), unless its mode (as the model's `modeFor` stores it) is the
// continuous mode 3, which needs no period from the line. False only for a
// malformed number.
bool ReadGeneratorColumns(CfgReader& in, GeneratorColumns& c, std::uint8_t (*modeFor)(int));

template <class D>
void ApplyGeneratorColumns(D& d, const GeneratorColumns& c) {
    if (!c.Refused.empty()) return;
    d.SetQuartz(c.QuartzKHz);
    d.SetPeriod(1000000 / c.FreqHz);
    d.SetPeriod2(1000000 / c.FreqHz);
    d.SetInterval(c.IntervalS * 1000000);
    d.SetMode(c.Mode);
}

// The start-up action: the configured setting is programmed at once.
template <class D>
void StartGenerator(D& d) {
    d.SetError(d.Apply() < 0 ? kErrExchange : kErrOk);
}

// The frequency a set command may program in `mode`: in mode 3 a frequency
// below 30 Hz becomes 29 Hz; outside it a frequency that gives no period
// (0, negative, not a number) is refused.
std::optional<double> UsableFrequency(double freqHz, int mode);

// Result lines of the three generators (code "788t", "788x", "788v").
// `readResult` is the count read just made; `values` what to report.
std::string GeneratorCountLine(std::string_view code, const TFreqGenerator& d, Route route,
                               int readResult, GeneratorValues values);
std::string GeneratorCountAbsentLine(std::string_view code, const TFreqGenerator& d, Route route);

// Reads the count and builds the line. A failed start leaves Error 5 until
// the next good one; the Link form then shows only that, and the reply form
// says so ("788t 1 Err 5"): a setting the generator never confirmed must not
// read back as made.
template <class D>
std::string GeneratorResultLine(std::string_view code, D& d, Route route) {
    if (route == Route::Link && d.Error() == kErrExchange) return "  Err 5";
    if (route == Route::Reply && d.Error() == kErrExchange)
        return std::string(code) + " " + std::to_string(d.Number()) + " Err 5";
    const int r = d.ReadCount();
    return GeneratorCountLine(code, d, route, r, d.ReportedValues());
}

constexpr std::string_view kGeneratorDatHeader =
    ";Модуль номер Кол-во импульс. Интервал,сек. Частота,Гц";

}  // namespace yukt
