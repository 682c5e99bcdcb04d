#pragma once
// A number the code under test wrote into a line or a file, read back with
// "." as decimal mark whatever the process locale is. Not a number: NaN,
// which fails every comparison it meets.

#include <cmath>
#include <string>

#include "common/text.h"

inline double NumberWord(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    double v = NAN;
    if (first == std::string::npos) return v;
    return yukt::StrToFloatStrict(text.substr(first, last - first + 1), v) ? v : NAN;
}
