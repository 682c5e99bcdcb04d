#include <locale.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/text.h"

namespace yukt {

namespace {

// The "C" numeric locale, made once; switching to it per thread keeps "."
// as decimal point even when the workstation set the user's locale.
locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

class CLocaleScope {
  public:
    CLocaleScope() : m_old(uselocale(cLocale())) {}
    ~CLocaleScope() { uselocale(m_old); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t m_old;
};

// Decimal digits of |value| rounded to 15 significant digits, and the
// decimal exponent of the first digit.
struct Decimal15 {
    bool negative = false;
    std::string digits;  // exactly 15 digits, first non-zero unless value is 0
    int exponent = 0;
    bool zero = true;
};

Decimal15 toDecimal15(double value) {
    Decimal15 d;
    char buf[64];
    {
        CLocaleScope c;
        std::snprintf(buf, sizeof buf, "%.14e", value);
    }
    const char* p = buf;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') d.digits += *p;
    if (*p == 'e') d.exponent = std::atoi(p + 1);
    d.zero = d.digits.find_first_not_of('0') == std::string::npos;
    return d;
}

std::string specialValue(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

}  // namespace

MeasureErrors CalcErrors(double range, double measured, double reference) {
    MeasureErrors e;
    e.abs = measured - reference;
    e.rel = reference == 0 ? 101.0 : e.abs / reference * 100.0;
    e.red = range == 0 ? 101.0 : e.abs / range * 100.0;
    return e;
}

double MapLinear(double x1, double x2, double x, double y1, double y2) {
    return y1 + (y2 - y1) / (x2 - x1) * (x - x1);
}

std::string Hex8(std::uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(value));
    return buf;
}

std::string FixedStr(double value, int decimals) { return FixedStr(value, decimals, '.'); }

std::string FixedStr(double value, int decimals, char decimalSep) {
    if (!std::isfinite(value)) return specialValue(value);
    if (decimals < 0) decimals = 0;
    Decimal15 d = toDecimal15(value);
    // Digits of the integer part and `decimals` fraction digits, rounded half
    // away from zero on the 15-digit decimal form.
    std::string digits;  // all digits, the point after intDigits
    int intDigits = d.exponent + 1;
    if (d.zero) intDigits = 1;
    std::string all = d.zero ? std::string("0") : d.digits;
    int start = d.zero ? 0 : d.exponent;  // power of ten of all[0]
    // Build digits for powers from max(start,0) down to -decimals.
    int high = std::max(start, 0);
    for (int pw = high; pw >= -decimals; --pw) {
        int idx = start - pw;
        digits += (idx >= 0 && idx < static_cast<int>(all.size())) ? all[idx] : '0';
    }
    int roundIdx = start + decimals + 1;  // index into `all` of the first dropped digit
    bool roundUp = roundIdx >= 0 && roundIdx < static_cast<int>(all.size()) && all[roundIdx] >= '5';
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0) {
            if (digits[i] == '9') {
                digits[i] = '0';
                --i;
            } else {
                ++digits[i];
                break;
            }
        }
        if (i < 0) digits.insert(digits.begin(), '1');
    }
    intDigits = static_cast<int>(digits.size()) - decimals;
    std::string out = digits.substr(0, intDigits);
    std::size_t nz = out.find_first_not_of('0');
    out = nz == std::string::npos ? "0" : out.substr(nz);
    if (decimals > 0) out += decimalSep + digits.substr(intDigits);
    bool allZero = digits.find_first_not_of('0') == std::string::npos;
    if (d.negative && !allZero) out.insert(out.begin(), '-');
    return out;
}

std::string FloatToStr(double value, char decimalSep) {
    if (!std::isfinite(value)) return specialValue(value);
    Decimal15 d = toDecimal15(value);
    if (d.zero) return "0";
    std::string digits = d.digits;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = d.negative ? "-" : "";
    int e = d.exponent;
    if (e >= 15 || e < -5) {
        out += digits[0];
        if (digits.size() > 1) out += decimalSep + digits.substr(1);
        out += "E" + std::to_string(e);
        return out;
    }
    if (e < 0) {
        out += "0";
        out += decimalSep;
        out += std::string(static_cast<std::size_t>(-e - 1), '0') + digits;
        return out;
    }
    std::size_t intLen = static_cast<std::size_t>(e) + 1;
    if (digits.size() <= intLen) return out + digits + std::string(intLen - digits.size(), '0');
    return out + digits.substr(0, intLen) + decimalSep + digits.substr(intLen);
}

std::string Fmt(const char* format, ...) {
    CLocaleScope c;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        va_end(copy);
        return out;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, copy);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(copy);
    return out;
}

void WaitMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool StrToIntStrict(const std::string& word, int& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
        negative = word[i] == '-';
        ++i;
    }
    bool hex = i < word.size() && word[i] == '$';
    if (hex) ++i;
    if (i >= word.size()) return false;
    unsigned long long value = 0;
    for (; i < word.size(); ++i) {
        char c = word[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0xFFFFFFFFull) return false;
    }
    long long result;
    if (hex) {
        // Eight hexadecimal digits cover the whole 32-bit pattern.
        result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        if (negative) result = -result;
    } else {
        result = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
        if (result < INT32_MIN || result > INT32_MAX) return false;
    }
    if (result < INT32_MIN || result > INT32_MAX) return false;
    out = static_cast<int>(result);
    return true;
}

bool StrToFloatStrict(const std::string& word, double& out) {
    std::size_t i = 0;
    const std::size_t n = word.size();
    if (i < n && (word[i] == '+' || word[i] == '-')) ++i;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < n && word[i] >= '0' && word[i] <= '9') ++i, ++intDigits;
    if (i < n && word[i] == '.') {
        ++i;
        while (i < n && word[i] >= '0' && word[i] <= '9') ++i, ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return false;
    if (i < n && (word[i] == 'e' || word[i] == 'E')) {
        ++i;
        if (i < n && (word[i] == '+' || word[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < n && word[i] >= '0' && word[i] <= '9') ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != n) return false;
    errno = 0;
    double v = strtod_l(word.c_str(), nullptr, cLocale());
    if (errno == ERANGE && std::isinf(v)) return false;
    out = v;
    return true;
}

}  // namespace yukt
