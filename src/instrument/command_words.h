#pragma once
// A command line split into its words: at most 12, lower case, with word 5
// also kept as typed (the data word of the memory commands) and word 3
// converted to the module number.

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace yukt {

struct CommandWords {
    static constexpr int kMaxWords = 12;

    // Word n (1..12), lower case (A-Z only); empty when absent.
    const std::string& operator[](int n) const;
    // Number of words taken (0..12).
    int Count = 0;
    // Word 5 as typed.
    std::string Data;
    // Word 3 as a number.
    int N = 0;

    std::array<std::string, kMaxWords> Words;
};

// Splits a command line; nullopt when the line is to be ignored: empty after
// trimming, a comment (";" first), or word 3 not a whole integer.
std::optional<CommandWords> SplitCommand(std::string_view line);

// Thrown by the conversions that the command language lets escape from
// ExecCommand (re-addressing and the indication module's row).
struct CommandConvertError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Whole-word integer ("$" hexadecimal allowed); throws CommandConvertError.
int IntOrThrow(const std::string& word);
// Real number with the operator's decimal comma: "." is turned into "," and
// "," is the decimal point, so both spellings convert; throws
// CommandConvertError.
double LocaleRealOrThrow(const std::string& word);

// Whole-word integer; nullopt when it does not convert.
std::optional<int> IntWord(const std::string& word);
// Real with "." as decimal point; nullopt when it does not convert.
std::optional<double> RealWord(const std::string& word);
// An integer word that is 0 or 1; nullopt otherwise.
std::optional<int> BitWord(const std::string& word);

}  // namespace yukt
