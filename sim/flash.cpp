#include "sim/flash.h"

#include <cmath>
#include <cstdlib>

#include "common/module_ids.h"
#include "common/text.h"

namespace yukt::sim {

namespace {

bool validParam(int n) { return n >= 1 && n <= ids::kParamCount; }
bool validCoef(int n) { return n >= 1 && n <= ids::kCoefCount; }

}  // namespace

Flash::Flash() { m_cells.fill(0xFF); }

std::uint8_t Flash::read(int cell) const {
    return (cell >= 0 && cell < ids::kFlashSize) ? m_cells[static_cast<std::size_t>(cell)] : 0xFF;
}

void Flash::write(int cell, std::uint8_t value) {
    if (cell >= 0 && cell < ids::kFlashSize) m_cells[static_cast<std::size_t>(cell)] = value;
}

void Flash::setAddress(int address) {
    for (int cell : ids::kAddressCells) write(cell, static_cast<std::uint8_t>(address));
}

std::optional<int> Flash::address() const {
    const std::uint8_t a = read(ids::kAddressCells[0]);
    for (int cell : ids::kAddressCells)
        if (read(cell) != a) return std::nullopt;
    return a;
}

void Flash::setParamText(int n, std::string_view text) {
    if (!validParam(n)) return;
    std::string ten(text.substr(0, ids::kParamLength));
    ten.insert(0, ids::kParamLength - ten.size(), ' ');
    for (int copy = 1; copy <= 3; ++copy) {
        const int base = ids::paramCell(copy, n);
        for (int i = 0; i < ids::kParamLength; ++i)
            write(base + i, static_cast<std::uint8_t>(static_cast<std::uint8_t>(ten[i]) ^
                                                      ids::kMaskM[copy - 1]));
    }
}

std::string Flash::paramTextOf(double value) {
    // As many significant digits as fit into ten characters.
    for (int digits = 9; digits >= 1; --digits) {
        std::string s = Fmt("%.*g", digits, value);
        if (s.find('e') != std::string::npos) continue;
        if (s.size() <= static_cast<std::size_t>(ids::kParamLength)) {
            for (char& c : s)
                if (c == '.') c = ',';
            return std::string(ids::kParamLength - s.size(), ' ') + s;
        }
    }
    return std::string(ids::kParamLength, ' ');
}

void Flash::setParam(int n, double value) { setParamText(n, paramTextOf(value)); }

std::optional<std::string> Flash::paramText(int n) const {
    if (!validParam(n)) return std::nullopt;
    std::string copies[3];
    for (int copy = 1; copy <= 3; ++copy) {
        const int base = ids::paramCell(copy, n);
        for (int i = 0; i < ids::kParamLength; ++i)
            copies[copy - 1].push_back(static_cast<char>(read(base + i) ^ ids::kMaskM[copy - 1]));
    }
    if (copies[0] != copies[1] || copies[0] != copies[2]) return std::nullopt;
    return copies[0];
}

std::optional<double> Flash::param(int n) const {
    std::optional<std::string> text = paramText(n);
    if (!text) return std::nullopt;
    std::string s = *text;
    for (char& c : s)
        if (c == ',') c = '.';
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    s = s.substr(first, s.find_last_not_of(' ') - first + 1);
    double v = 0;
    if (!StrToFloatStrict(s, v)) return std::nullopt;
    return v;
}

void Flash::setCoefBytes(int n, const std::array<std::uint8_t, 4>& bytes) {
    if (!validCoef(n)) return;
    for (int copy = 1; copy <= 3; ++copy)
        for (int i = 0; i < ids::kCoefLength; ++i)
            write(ids::coefCell(copy, n) + i,
                  static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)] ^
                                            ids::kMaskN[copy - 1]));
}

void Flash::setCoef(int n, double value) {
    const double half = std::fabs(value) / 2.0;
    const auto whole = static_cast<unsigned>(std::min(std::floor(half), 65535.0));
    const auto fraction =
        static_cast<unsigned>(std::floor((half - std::floor(half)) * 10000.0 + 1e-6));
    const unsigned f = std::min(fraction, 9999u);
    setCoefBytes(n, {static_cast<std::uint8_t>(whole >> 8), static_cast<std::uint8_t>(whole & 0xFF),
                     static_cast<std::uint8_t>((f / 1000) << 4 | (f / 100 % 10)),
                     static_cast<std::uint8_t>((f / 10 % 10) << 4 | (f % 10))});
}

std::optional<double> Flash::coef(int n) const {
    if (!validCoef(n)) return std::nullopt;
    std::array<std::uint8_t, 4> copies[3];
    for (int copy = 1; copy <= 3; ++copy)
        for (int i = 0; i < ids::kCoefLength; ++i)
            copies[copy - 1][static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(read(ids::coefCell(copy, n) + i) ^ ids::kMaskN[copy - 1]);
    if (copies[0] != copies[1] || copies[0] != copies[2]) return std::nullopt;
    const auto& b = copies[0];
    const int digits[4] = {b[2] >> 4, b[2] & 15, b[3] >> 4, b[3] & 15};
    for (int d : digits)
        if (d > 9) return std::nullopt;
    const double fraction =
        (digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3]) / 10000.0;
    return 2.0 * ((b[0] << 8 | b[1]) + fraction);
}

}  // namespace yukt::sim
