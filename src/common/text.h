#pragma once
// Text and number helpers shared by the drivers, the command layer and the
// workstation: configuration columns, decimal separators, hexadecimal words,
// measurement errors and the number formats of result lines.

#include <cstdint>
#include <string>

namespace yukt {

// Words first .. first + count - 1 of `line` with the separators between
// them, without leading/trailing blanks and with one leading and one trailing
// separator removed. Empty for an empty line, a comment line (";" first) or
// first/count below 1.
std::string GetColumn(const std::string& line, int first, int count, char sep = ' ');
// Word n of a blank-separated line.
std::string GetColumn(const std::string& line, int n);

// Replaces the word in `column` and the separators after it by `text`
// followed by four blanks. Empty lines, comments and column < 1: unchanged.
std::string SetColumn(const std::string& line, int column, const std::string& text);

std::string PointToComma(std::string s);
std::string CommaToPoint(std::string s);

// Hexadecimal text to a 16-bit value; blanks and "$" at the start are
// skipped, further characters are taken without any check.
std::uint16_t HexToWord(const std::string& text);

struct MeasureErrors {
    double abs = 0;  // measured - reference
    double rel = 0;  // % of the reference; 101 when the reference is 0
    double red = 0;  // % of the range; 101 when the range is 0
};
MeasureErrors CalcErrors(double range, double measured, double reference);

// y1 + (y2 - y1) / (x2 - x1) * (x - x1)
double MapLinear(double x1, double x2, double x, double y1, double y2);

// "$" and exactly eight upper-case hexadecimal digits.
std::string Hex8(std::uint32_t value);

// Fixed notation with exactly `decimals` decimals (at most 15 significant
// digits, the rest shown as zeros).
std::string FixedStr(double value, int decimals);
std::string FixedStr(double value, int decimals, char decimalSep);

// Shortest general form (up to 15 significant digits, exponent only for very
// large or small magnitudes), e.g. 12 -> "12", 0.5 -> "0.5", 1e20 -> "1E20".
std::string FloatToStr(double value, char decimalSep = '.');

// printf-style formatting into a string, always with "." as decimal point
// whatever the process locale is: Fmt("%7.3f", x).
std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Blocks the calling thread for `ms` milliseconds (never spins).
void WaitMs(unsigned ms);

// Whole-word integer conversion: optional sign, then decimal digits or "$"
// and hexadecimal digits; the whole word must convert and fit in 32 bits.
bool StrToIntStrict(const std::string& word, int& out);
// Whole-word real conversion with "." as decimal point (optional sign,
// digits, fraction, exponent); no blanks, no locale.
bool StrToFloatStrict(const std::string& word, double& out);

}  // namespace yukt
