#include <algorithm>
#include <vector>

#include "common/text.h"

namespace yukt {

namespace {

struct WordSpan {
    std::size_t begin;
    std::size_t end;
};

std::vector<WordSpan> splitWords(const std::string& line, char sep) {
    std::vector<WordSpan> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == sep) ++i;
        if (i >= line.size()) break;
        std::size_t start = i;
        while (i < line.size() && line[i] != sep) ++i;
        words.push_back({start, i});
    }
    return words;
}

bool isCommentOrEmpty(const std::string& line) { return line.empty() || line[0] == ';'; }

std::string trimBlanks(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    std::size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

}  // namespace

std::string GetColumn(const std::string& line, int first, int count, char sep) {
    if (isCommentOrEmpty(line) || first < 1 || count < 1) return "";
    std::vector<WordSpan> words = splitWords(line, sep);
    if (static_cast<std::size_t>(first) > words.size()) return "";
    std::size_t last = std::min(words.size(), static_cast<std::size_t>(first) + count - 1);
    std::size_t begin = words[first - 1].begin;
    std::size_t end = words[last - 1].end;
    std::string s = trimBlanks(line.substr(begin, end - begin));
    if (!s.empty() && s.front() == sep) s.erase(0, 1);
    if (!s.empty() && s.back() == sep) s.pop_back();
    return s;
}

std::string GetColumn(const std::string& line, int n) { return GetColumn(line, n, 1, ' '); }

std::string SetColumn(const std::string& line, int column, const std::string& text) {
    if (isCommentOrEmpty(line) || column < 1) return line;
    std::vector<WordSpan> words = splitWords(line, ' ');
    if (static_cast<std::size_t>(column) > words.size()) return line;
    std::size_t begin = words[column - 1].begin;
    std::size_t end = words[column - 1].end;
    while (end < line.size() && line[end] == ' ') ++end;
    return line.substr(0, begin) + text + "    " + line.substr(end);
}

std::string PointToComma(std::string s) {
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string CommaToPoint(std::string s) {
    for (char& c : s)
        if (c == ',') c = '.';
    return s;
}

std::uint16_t HexToWord(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '$')) ++i;
    std::uint16_t value = 0;
    for (; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        unsigned digit = (c >= '0' && c <= '9') ? c - 48u : c - 55u;
        value = static_cast<std::uint16_t>(value * 16u + digit);
    }
    return value;
}

}  // namespace yukt
