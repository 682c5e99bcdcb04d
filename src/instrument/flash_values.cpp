#include "instrument/flash_values.h"

#include <charconv>
#include <cmath>

#include "common/text.h"

namespace yukt {

namespace {

// Blanks and control characters around a parameter text are padding, not
// part of the number.
std::string trimmed(const std::string& s) {
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
    return s.substr(first, last - first);
}

// A decimal number with "," or "." as separator, whatever the process locale.
std::optional<double> decimalValue(const std::string& text) {
    double value = 0;
    if (!StrToFloatStrict(CommaToPoint(text), value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> FlashParamValue(const std::string& stored) {
    return decimalValue(trimmed(stored));
}

std::optional<double> FlashCoefValue(const std::string& bytes) {
    if (bytes.size() != 4) return std::nullopt;
    auto at = [&](int i) { return static_cast<std::uint8_t>(bytes[i]); };
    int whole = at(0) << 8 | at(1);
    std::string text = std::to_string(whole) + ",";
    for (std::uint8_t b : {at(2), at(3)}) {
        for (int nibble : {b >> 4, b & 15}) {
            // Packed decimal holds digits only; anything else is not a value.
            if (nibble > 9) return std::nullopt;
            text.push_back(static_cast<char>('0' + nibble));
        }
    }
    std::optional<double> half = decimalValue(text);
    if (!half) return std::nullopt;
    return *half * 2;
}

std::optional<std::array<std::uint8_t, 4>> FlashCoefBytes(double value) {
    double half = value / 2;
    if (!std::isfinite(half)) return std::nullopt;
    // The digits are taken from the shortest decimal text of the value with
    // 15 significant digits, so that 1.0003 keeps its 3; the text is built
    // without the process locale.
    char general[64];
    auto g = std::to_chars(general, general + sizeof general, half, std::chars_format::general, 15);
    if (g.ec != std::errc()) return std::nullopt;
    double rounded = 0;
    if (std::from_chars(general, g.ptr, rounded).ec != std::errc()) return std::nullopt;
    char fixed[400];
    auto f = std::to_chars(fixed, fixed + sizeof fixed, rounded, std::chars_format::fixed);
    if (f.ec != std::errc()) return std::nullopt;
    std::string text(fixed, f.ptr);

    std::size_t sep = text.find('.');
    std::string integer = text.substr(0, sep);
    bool negative = !integer.empty() && integer[0] == '-';
    if (negative) integer.erase(0, 1);
    if (integer.empty() || integer.size() > 5) return std::nullopt;
    int whole = std::stoi(integer);
    // Only a negative value of magnitude below one is stored (as 0): it is
    // how a coefficient is marked as not set.
    if (whole > 0xFFFF || (negative && whole != 0)) return std::nullopt;

    std::string digits = sep == std::string::npos ? "" : text.substr(sep + 1, 4);
    digits.resize(4, '0');
    auto digit = [&](int i) { return static_cast<std::uint8_t>(digits[i] - '0'); };
    return std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(whole >> 8),
                                       static_cast<std::uint8_t>(whole & 0xFF),
                                       static_cast<std::uint8_t>(digit(0) << 4 | digit(1)),
                                       static_cast<std::uint8_t>(digit(2) << 4 | digit(3))};
}

}  // namespace yukt
