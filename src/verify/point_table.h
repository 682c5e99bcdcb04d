#pragma once
// Which commands drive the reference and which reply word holds the measured
// value, per module kind and channel item of the verification pages. The
// pages and the automatic run read the same table, so that a manual point
// and an automatic point are set, read and computed alike.

#include <optional>
#include <string>
#include <vector>

#include "common/text.h"

namespace yukt::verify {

// What a procedure verifies.
enum class Quantity {
    Current,           // the calibrator's 787x drives the input under test, mA
    GeneratorCurrent,  // a 787x under test drives the calibrator's meter, mA
    Frequency,         // the 788t drives a frequency input, Hz
    Period,            // the same, read as the period, µs
    Interval,          // one interval of the 788t, s
    Count,             // a number of pulses of the 788t
    Divider,           // a 735t divider, ratio
    Translator,        // a 735t translator, Hz
};

// The reply a channel's measured value comes in.
struct ReplyRoute {
    std::string pollCommand;     // "Get 745t 2"
    std::string model;           // word 1 of the reply, "745t"
    std::string expectedNumber;  // word 2 of the reply, "2"
    int entry = 0;               // word holding the value (1-based); 0: none
};

// The reply of the current page's channel (kinds 1, 2, 3, 8, 13, 14, 15);
// nothing for a resistance channel or an item the kind does not have.
std::optional<ReplyRoute> CurrentRoute(int kind, int item);
// The reply of the frequency page's channel (kinds 5 and 6) for the
// frequency, interval and count items; nothing for dividers and translators.
std::optional<ReplyRoute> FrequencyRoute(int kind, int item);

// The route a quantity of a kind reads on a channel item, if the pair makes
// sense (a frequency on a 735x interval item does not).
std::optional<ReplyRoute> RouteFor(Quantity q, int kind, int item);

// Physical channels (as printed on the module, from 1) and the page's
// selector items they are: a methodology names channels, the pages items.
// How many channels of the quantity a kind has (0: none).
int ChannelCount(Quantity q, int kind);
// The selector item of a physical channel, or nothing when the kind has no
// such channel for the quantity.
std::optional<int> ItemOf(Quantity q, int kind, int channel);
// The physical channel of a selector item (0 when it is none).
int ChannelOfItem(Quantity q, int kind, int item);
// The model code a methodology names for a kind: "748t", "745t+748x" ...;
// empty for a kind that is not verified.
std::string ModelCodeOfKind(int kind);

// The smallest step the module can show at `value`: one ADC code of a
// current input, one timer count of a frequency input (the timer runs at a
// quarter of the module's quartz `quartzKHz`, one period measured).
// Readings one step apart agree whatever the settling band says.
double ModuleResolution(Quantity q, int kind, double value, double quartzKHz);

// How often a poll can bring a new reading, in seconds. A frequency is the
// pulses counted between two polls, so polls closer than the module's
// update (0.1 s) read no pulse at all (a zero) or one period with the error
// of a whole timer count. The rest is polled as the page polls, once a
// second: a current because the converter goes over the channels in turn,
// so readings closer together repeat one conversion and their agreement
// would say nothing about settling; an interval or count wait because its
// value stays once the detectors have fired, and a poll every module
// update would keep a 9600-baud line busy for the whole wait.
double PollPeriod(Quantity q);
// The module measures the quantity over the time since it was last read
// (edges counted between two reads), so the first read after a pause
// spans what came before it.
bool MeasuredSinceLastRead(Quantity q);
// The poll that shows a module of this kind is alive (its first channel).
std::optional<ReplyRoute> ModulePoll(int kind);

// Commands of the current page.
std::string CurrentCommand(int kind, double mA);  // "Set 787x 1 12 6" ("787x 2" for kind 8)
// The generator whose current the page sets, as its reply names it.
ReplyRoute CurrentGenerator(int kind);

// Commands of the frequency page (numbers written with "." as decimal point).
std::string FrequencyCommand(double hz);              // "Set 788t 1 f 3"
std::string IntervalCommand(double seconds);          // "Set 788t 1 t 4"
std::string IntervalCommandShortest(double seconds);  // t in its shortest general form
extern const char* const kDetectorReset;              // "Set 735x 2 0 0 0 0 1"
extern const char* const kGeneratorIdle;              // "Set 788t 1 0.5 4"
extern const char* const kPollGenerator;              // "Get 788t 1"
ReplyRoute FrequencyGenerator();

// Limits of the calibrator's generators as the pages accept them.
inline constexpr double kCurrentMaxMa = 20;
inline constexpr double kFrequencyMinHz = 35, kFrequencyMaxHz = 3500;
inline constexpr double kIntervalMinS = 0.2, kIntervalMaxS = 1500;
bool FrequencyInRange(double hz);  // compared in single precision, as typed

// The frequency the 788t really produces when asked for `hz` with its quartz.
double ReferenceFrequency(double hz, double quartzKHz);

// Word `entry` of a reply line as a number ("," taken as decimal point too,
// never the process locale's); "nan" and "inf" come back not finite; nothing
// when the word is missing or not a number.
std::optional<double> ReplyValue(const std::vector<std::string>& words, int entry);
// The words of a reply line, words[0] being word 1.
std::vector<std::string> ReplyWords(const std::string& line);
// True for a reply of that model and number.
bool IsReplyOf(const std::vector<std::string>& words, const ReplyRoute& route);
// The error code of an "Err n" reply, or nothing.
std::optional<int> ReplyErrorCode(const std::vector<std::string>& words);
// The event detectors of a 735x reply (entries 6 and 7, "1" when fired):
// empty when both have fired, the only state in which the module's interval
// and count between the events are complete; otherwise which have not
// ("детектор 1 не сработал", "детектор 2 ...", "детекторы 1 и 2 ...").
std::string DetectorsNotFired(const std::vector<std::string>& words);

}  // namespace yukt::verify
