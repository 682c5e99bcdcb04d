#include "verify/point_table.h"

#include <cctype>
#include <cstdlib>
#include <limits>

#include "instrument/identify.h"

namespace yukt::verify {

const char* const kDetectorReset = "Set 735x 2 0 0 0 0 1";
const char* const kGeneratorIdle = "Set 788t 1 0.5 4";
const char* const kPollGenerator = "Get 788t 1";

namespace {

ReplyRoute route(const char* model, const char* number, int entry) {
    return {std::string("Get ") + model + " " + (number[0] == '1' ? "1" : "2"), model, number,
            entry};
}

}  // namespace

std::optional<ReplyRoute> CurrentRoute(int kind, int item) {
    switch (kind) {
        case kKind745t:
            if (item == 0) return route("745t", "2", 6);
            break;
        case kKind745t745t:  // items 2 and 3 are the resistance channels
            if (item == 0 || item == 1) return route("745t", item == 0 ? "2" : "3", 6);
            break;
        case kKind748x:
            if (item >= 0 && item <= 2) return route("748x", "2", 3 + item);
            break;
        case kKind748x748x:
            if (item >= 0 && item <= 5) return route("748x", item < 3 ? "2" : "3", 3 + item % 3);
            break;
        case kKind748t:
            if (item >= 0 && item <= 15) return route("748t", "2", 3 + item);
            break;
        case kKind745t748x:  // item 4 is the resistance channel
            if (item == 0) return route("745t", "2", 6);
            if (item >= 1 && item <= 3) return route("748x", "3", 2 + item);
            break;
        case kKind787x:  // the calibrator's meter measures the generator under test
            return route("745t", "1", 6);
        default:
            break;
    }
    return std::nullopt;
}

std::optional<ReplyRoute> FrequencyRoute(int kind, int item) {
    if (kind == kKind735t && (item == 0 || item == 1))
        return route("735t", "2", item == 0 ? 10 : 16);
    if (kind == kKind735x) {
        static const int entries[] = {12, 9, 8};  // F, Ti, N
        if (item >= 0 && item <= 2) return route("735x", "2", entries[item]);
    }
    return std::nullopt;
}

std::optional<ReplyRoute> RouteFor(Quantity q, int kind, int item) {
    switch (q) {
        case Quantity::Current:
            if (kind == kKind787x) return std::nullopt;
            return CurrentRoute(kind, item);
        case Quantity::GeneratorCurrent:
            if (kind != kKind787x || item != 0) return std::nullopt;
            return CurrentRoute(kind, item);
        case Quantity::Frequency:
        case Quantity::Period:
            if (kind == kKind735x && item != 0) return std::nullopt;
            return FrequencyRoute(kind, item);
        case Quantity::Interval:
            if (kind != kKind735x || item != 1) return std::nullopt;
            return FrequencyRoute(kind, item);
        case Quantity::Count:
            if (kind != kKind735x || item != 2) return std::nullopt;
            return FrequencyRoute(kind, item);
        default:  // dividers and translators read the generator's burst count
            return std::nullopt;
    }
}

int ChannelCount(Quantity q, int kind) {
    switch (q) {
        case Quantity::Current:
            switch (kind) {
                case kKind745t:
                    return 1;
                case kKind745t745t:
                    return 2;
                case kKind748x:
                    return 3;
                case kKind745t748x:
                    return 4;
                case kKind748x748x:
                    return 6;
                case kKind748t:
                    return 16;
                default:
                    return 0;
            }
        case Quantity::GeneratorCurrent:
            return kind == kKind787x ? 1 : 0;
        case Quantity::Frequency:
        case Quantity::Period:
            return kind == kKind735t ? 2 : kind == kKind735x ? 1 : 0;
        case Quantity::Interval:
        case Quantity::Count:
            return kind == kKind735x ? 1 : 0;
        default:
            return 0;
    }
}

// The current and the 735t channels are items 0.. in channel order; the
// 735x has one input whose items are its quantities.
std::optional<int> ItemOf(Quantity q, int kind, int channel) {
    if (channel < 1 || channel > ChannelCount(q, kind)) return std::nullopt;
    if (kind == kKind735x) return q == Quantity::Interval ? 1 : q == Quantity::Count ? 2 : 0;
    return channel - 1;
}

int ChannelOfItem(Quantity q, int kind, int item) {
    for (int c = 1; c <= ChannelCount(q, kind); ++c)
        if (ItemOf(q, kind, c) == item) return c;
    return 0;
}

std::string ModelCodeOfKind(int kind) {
    switch (kind) {
        case kKind745t:
            return "745t";
        case kKind748x:
            return "748x";
        case kKind748t:
            return "748t";
        case kKind735t:
            return "735t";
        case kKind735x:
            return "735x";
        case kKind787x:
            return "787x";
        case kKind745t745t:
            return "745t+745t";
        case kKind745t748x:
            return "745t+748x";
        case kKind748x748x:
            return "748x+748x";
        default:
            return "";
    }
}

double ModuleResolution(Quantity q, int kind, double value, double quartzKHz) {
    constexpr double kAdcMv = 2500, kShuntOhm = 100;
    switch (q) {
        case Quantity::Current:
            // The 748t converts with 12 bits, the others with 24.
            return kAdcMv / (kind == kKind748t ? 4096.0 : 16777216.0) / kShuntOhm;
        case Quantity::GeneratorCurrent:
            return kAdcMv / 16777216.0 / kShuntOhm;
        // The timer counts at a quarter of the quartz; one count of one period.
        case Quantity::Frequency:
            return quartzKHz > 0 ? value * value / (quartzKHz * 250) : 0;
        case Quantity::Period:
            return quartzKHz > 0 ? 4000 / quartzKHz : 0;  // µs per count
        case Quantity::Interval:
            return quartzKHz > 0 ? 1 / (quartzKHz * 250) : 0;
        case Quantity::Count:
            return 1;
        default:
            return 0;
    }
}

double PollPeriod(Quantity q) {
    switch (q) {
        case Quantity::Current:
        case Quantity::GeneratorCurrent:
        case Quantity::Interval:
        case Quantity::Count:
            return 1.0;
        default:
            return 0.1;
    }
}

bool MeasuredSinceLastRead(Quantity q) { return q == Quantity::Frequency || q == Quantity::Period; }

std::optional<ReplyRoute> ModulePoll(int kind) {
    // A generator under test answers for itself, not through the meter.
    if (kind == kKind787x) return CurrentGenerator(kind);
    for (Quantity q : {Quantity::Current, Quantity::GeneratorCurrent, Quantity::Frequency})
        if (const auto item = ItemOf(q, kind, 1)) return RouteFor(q, kind, *item);
    return std::nullopt;
}

std::string CurrentCommand(int kind, double mA) {
    // A 787x under test is generator number 2; otherwise the calibrator's
    // generator number 1 feeds the module under test.
    return std::string("Set 787x ") + (kind == kKind787x ? "2 " : "1 ") + FloatToStr(mA) + " 6";
}

ReplyRoute CurrentGenerator(int kind) {
    return kind == kKind787x ? route("787x", "2", 3) : route("787x", "1", 3);
}

std::string FrequencyCommand(double hz) { return "Set 788t 1 " + FloatToStr(hz) + " 3"; }
std::string IntervalCommand(double seconds) { return "Set 788t 1 " + FloatToStr(seconds) + " 4"; }
std::string IntervalCommandShortest(double seconds) { return IntervalCommand(seconds); }

ReplyRoute FrequencyGenerator() { return route("788t", "1", 5); }

bool FrequencyInRange(double hz) {
    const float f = static_cast<float>(hz);
    return f >= static_cast<float>(kFrequencyMinHz) && f <= static_cast<float>(kFrequencyMaxHz);
}

double ReferenceFrequency(double hz, double quartzKHz) {
    return GeneratorFrequency(static_cast<float>(hz), static_cast<float>(quartzKHz));
}

std::vector<std::string> ReplyWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() &&
               (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' &&
               line[j] != '\n')
            ++j;
        if (j > i) words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

std::optional<double> ReplyValue(const std::vector<std::string>& words, int entry) {
    if (entry < 1 || entry > static_cast<int>(words.size())) return std::nullopt;
    // The reply is machine text: read it whatever the process locale is.
    const std::string text = CommaToPoint(words[entry - 1]);
    double v = 0;
    if (StrToFloatStrict(text, v)) return v;
    // A driver that divided by zero prints "inf" or "nan"; handed on as such,
    // so that the run can say why the point has no value.
    std::string bare = text.substr(text[0] == '-' || text[0] == '+' ? 1 : 0);
    for (char& c : bare) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (bare == "nan") return std::numeric_limits<double>::quiet_NaN();
    if (bare == "inf" || bare == "infinity")
        return text[0] == '-' ? -std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::infinity();
    return std::nullopt;
}

bool IsReplyOf(const std::vector<std::string>& words, const ReplyRoute& route) {
    return words.size() >= 2 && words[0] == route.model && words[1] == route.expectedNumber;
}

std::optional<int> ReplyErrorCode(const std::vector<std::string>& words) {
    for (std::size_t i = 2; i < words.size(); ++i) {
        if (words[i] != "Err" && words[i] != "err") continue;
        if (i + 1 < words.size()) return std::atoi(words[i + 1].c_str());
        return 0;
    }
    return std::nullopt;
}

std::string DetectorsNotFired(const std::vector<std::string>& words) {
    const bool d1 = words.size() > 5 && words[5] == "1";
    const bool d2 = words.size() > 6 && words[6] == "1";
    if (d1 && d2) return "";
    if (d1) return "детектор 2 не сработал";
    if (d2) return "детектор 1 не сработал";
    return "детекторы 1 и 2 не сработали";
}

}  // namespace yukt::verify
