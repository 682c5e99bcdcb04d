#include "modules/tp745b.h"

#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "common/cp1251.h"
#include "common/text.h"

namespace yukt {

namespace {

constexpr int kChannels = 32;
constexpr int kMaxBlocks = 8;

// The lines of a site file; a missing file has none, one that cannot be read
// leaves `failure` set.
std::vector<std::string> fileLines(const std::string& path, std::optional<CfgError>& failure) {
    std::vector<std::string> lines;
    std::string text;
    FileFailure reason;
    if (!ReadTextFile(path, text, reason)) {
        if (!reason.missing && !failure) failure = CfgError{path, reason.line, reason.reason};
        return lines;
    }
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// First word of line `i` as an integer; false when the line is missing or
// its first word is not a number.
bool firstInt(const std::vector<std::string>& lines, std::size_t i, int& value) {
    if (i >= lines.size()) return false;
    const auto words = wordsOf(lines[i]);
    return !words.empty() && StrToIntStrict(words[0], value);
}

// corr1.cfg: point number -> correction in Ω; a later line for a point wins.
std::map<int, double> readCorrections(const std::string& path, std::optional<CfgError>& failure) {
    std::map<int, double> corrections;
    for (const std::string& line : fileLines(path, failure)) {
        const auto words = wordsOf(line);
        if (words.size() < 2 || words[0][0] == ';') continue;
        int point = 0;
        double correction = 0;
        if (!StrToIntStrict(words[0], point) || point < 1 || point > 99) continue;
        if (!StrToFloatStrict(CommaToPoint(words[1]), correction)) continue;
        corrections[point] = correction;
    }
    return corrections;
}

}  // namespace

Ttp745b::Ttp745b(ModuleContext& ctx) : Ttp74x1(ctx) {
    SetName("Модуль измерения температуры по RTD (ЮКТ-745b) (4*8 каналов)");
    SetRangeHigh(120);
    SetRangeLow(-10);
    SetMaterial(1);
}

void Ttp745b::LoadChannelCorrections() {
    // g1.cfg: the count c of modules described, c lines with their numbers,
    // then c blocks of 32 lines with the sensor point number of each channel.
    const auto g1 = fileLines(Context().SiteDir + "g1.cfg", m_siteFailure);
    int count = 0;
    if (!firstInt(g1, 0, count) || count < 1 || count > kMaxBlocks) return;
    int block = 0;
    for (int k = 1; k <= count && block == 0; ++k) {
        int number = 0;
        if (firstInt(g1, static_cast<std::size_t>(k), number) && number == Number()) block = k;
    }
    if (block == 0) return;
    const std::size_t first = static_cast<std::size_t>(1 + count + (block - 1) * kChannels);
    for (int j = 1; j <= kChannels; ++j) {
        int point = 0;
        if (firstInt(g1, first + static_cast<std::size_t>(j - 1), point)) SetChanParam(j, point);
    }

    const auto corrections = readCorrections(Context().SiteDir + "corr1.cfg", m_siteFailure);
    for (int j = 1; j <= kChannels; ++j) {
        const auto it = corrections.find(GetChanParam(j));
        if (it != corrections.end()) SetChanOffset(j, it->second);
    }
}

bool Tp745bTraits::ReadColumns(CfgReader& in, Columns& c) {
    for (double& r : c.RRefGroup)
        if (!in.ReadReal(r)) return false;
    return in.ReadInt(c.Gost);
}

void Tp745bTraits::ApplyColumns(Driver& d, const Columns& c) {
    for (int g = 1; g <= 4; ++g) d.SetRRefGroup(g, c.RRefGroup[g - 1]);
    d.SetMaterial(c.Gost);
}

std::string Tp745bTraits::ResultLine(Driver& d, Route route) {
    d.MeasureGroup();
    const std::string n = std::to_string(d.Number());
    if (d.Error() == kErrExchange) {
        switch (route) {
            case Route::Reply:
                return "745b " + n + " Err 5";
            case Route::Console:
                return " 745b     " + n + "   Err 5";
            case Route::Dat:
            case Route::Link:
                break;
        }
        return " 745b     " + n + "  Err 5";
    }
    std::string line = "745b " + n + " " + std::to_string(d.GroupNo());
    for (int j = 1; j <= 8; ++j) line += " " + Field73(d.ChanT(j));
    for (int j = 1; j <= 8; ++j) line += " " + Field73(d.ChanR(j));
    line += " " + Field73(d.Ret100());
    // The data file ends every field, the last one too, with a blank.
    if (route == Route::Dat) line += " ";
    return line;
}

std::string Tp745bTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    switch (route) {
        case Route::Reply:
            return "745b " + n + " Err 4";
        case Route::Console:
            return " 745b     " + n + "   Err 4";
        case Route::Dat:
        case Route::Link:
            break;
    }
    return " 745b     " + n + "  Err 4";
}

}  // namespace yukt
