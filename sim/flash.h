#pragma once
// The FLASH of a simulated module: 4096 one-byte cells, with helpers that
// store and read the triple-copy values of the layout the workstation uses
// (address, parameters 1..5, coefficients 1..2).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace yukt::sim {

class Flash {
  public:
    Flash();  // every cell erased (0xFF)

    std::uint8_t read(int cell) const;         // 0xFF outside 0..4095
    void write(int cell, std::uint8_t value);  // ignored outside 0..4095

    // The module address in its three cells.
    void setAddress(int address);
    // The common byte of the three copies, or nothing when they disagree.
    std::optional<int> address() const;

    // Parameter n (1..5) as ten characters in all three copies; a shorter
    // text is right-aligned with blanks, a longer one cut to ten.
    void setParamText(int n, std::string_view text);
    // A number written the way a module keeps it: right-aligned, decimal comma.
    void setParam(int n, double value);
    // The ten characters when all three copies agree.
    std::optional<std::string> paramText(int n) const;
    // The value of paramText as a number (either decimal mark accepted).
    std::optional<double> param(int n) const;

    // Coefficient n (1..2): half the value, integer part high byte first and
    // four packed decimal digits, in all three copies with the masks N1..N3.
    void setCoef(int n, double value);
    // The four raw (unmasked) bytes of coefficient n in every copy.
    void setCoefBytes(int n, const std::array<std::uint8_t, 4>& bytes);
    // The value when all three copies agree, decoded with the masks N1..N3.
    std::optional<double> coef(int n) const;

    // Formats a number as a ten-character parameter text ("  100,0000").
    static std::string paramTextOf(double value);

  private:
    std::array<std::uint8_t, 4096> m_cells;
};

}  // namespace yukt::sim
