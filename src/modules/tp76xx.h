#pragma once
// Discrete base: modules that carry bytes rather than measured values. Four
// 8-bit ports, and the display request of the indication console.

#include <array>
#include <cstdint>
#include <string>

#include "modules/tp7xxx.h"

namespace yukt {

class Ttp76xx : public Ttp7xxx {
  public:
    explicit Ttp76xx(ModuleContext& ctx) : Ttp7xxx(ctx) {}

    static constexpr int kDisplayPositions = 8;
    static constexpr int kDisplayRows = 8;
    using DisplayValues = std::array<double, kDisplayPositions>;

    std::uint8_t P0() const { return m_ports[0]; }
    std::uint8_t P1() const { return m_ports[1]; }
    std::uint8_t P2() const { return m_ports[2]; }
    std::uint8_t P3() const { return m_ports[3]; }
    void SetP0(std::uint8_t v) { m_ports[0] = v; }
    void SetP1(std::uint8_t v) { m_ports[1] = v; }
    void SetP2(std::uint8_t v) { m_ports[2] = v; }
    void SetP3(std::uint8_t v) { m_ports[3] = v; }

    // Reads the four ports. 0, or -1 (nothing sent when the module cannot be
    // reached; Error 5 when it did not answer or refused).
    int ReadPorts();
    // Drives the four ports. The reply's result (0), or -1; Error unchanged.
    int WritePorts();
    // Shows eight values in one row (1..8). The reply's result (0), or -1;
    // Error unchanged. A row outside 1..8 or a value the displays cannot show
    // (negative, not a number) is refused without sending anything.
    int Display(int row, const DisplayValues& values);

    // The two packed decimal bytes of a display value: the integer part's
    // last two digits and the first decimal. False for a value that has no
    // decimal form (negative, infinite, not a number).
    static bool EncodeDisplayValue(double value, std::uint8_t& intPart, std::uint8_t& fraction);

  private:
    std::array<std::uint8_t, 4> m_ports{0xFF, 0xFF, 0xFF, 0xFF};
};

// "$" and two upper-case hexadecimal digits.
std::string PortText(std::uint8_t port);

}  // namespace yukt
