#include "instrument/command_words.h"

#include "common/text.h"
#include "common/text_file.h"

namespace yukt {

namespace {

bool isTrimmed(char c) { return static_cast<unsigned char>(c) < 33; }
bool isSeparator(char c) { return c == ' ' || c == '\0'; }

void lowerAscii(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

}  // namespace

const std::string& CommandWords::operator[](int n) const {
    static const std::string kNone;
    return (n >= 1 && n <= kMaxWords) ? Words[n - 1] : kNone;
}

std::optional<CommandWords> SplitCommand(std::string_view line) {
    std::size_t first = 0;
    std::size_t last = line.size();
    while (first < last && isTrimmed(line[first])) ++first;
    while (last > first && isTrimmed(line[last - 1])) --last;
    line = line.substr(first, last - first);
    if (line.empty() || line.front() == ';') return std::nullopt;

    CommandWords w;
    std::size_t pos = 0;
    while (w.Count < CommandWords::kMaxWords) {
        while (pos < line.size() && isSeparator(line[pos])) ++pos;
        if (pos == line.size()) break;
        std::size_t end = pos;
        while (end < line.size() && !isSeparator(line[end])) ++end;
        w.Words[w.Count++] = std::string(line.substr(pos, end - pos));
        pos = end;
    }
    w.Data = w.Words[4];
    for (std::string& word : w.Words) lowerAscii(word);
    if (!StrToIntStrict(w.Words[2], w.N)) return std::nullopt;
    return w;
}

int IntOrThrow(const std::string& word) {
    int value = 0;
    if (!StrToIntStrict(word, value))
        throw CommandConvertError("'" + EchoToken(word) + "' is not a valid integer value");
    return value;
}

double LocaleRealOrThrow(const std::string& word) {
    // The operator's locale writes the decimal comma; commands may carry
    // either separator, so both become the comma and the comma is read.
    std::string text = CommaToPoint(PointToComma(word));
    double value = 0;
    if (!StrToFloatStrict(text, value))
        throw CommandConvertError("'" + EchoToken(word) + "' is not a valid floating point value");
    return value;
}

std::optional<int> IntWord(const std::string& word) {
    int value = 0;
    if (!StrToIntStrict(word, value)) return std::nullopt;
    return value;
}

std::optional<double> RealWord(const std::string& word) {
    double value = 0;
    if (!StrToFloatStrict(word, value)) return std::nullopt;
    return value;
}

std::optional<int> BitWord(const std::string& word) {
    std::optional<int> v = IntWord(word);
    if (v && (*v == 0 || *v == 1)) return v;
    return std::nullopt;
}

}  // namespace yukt
