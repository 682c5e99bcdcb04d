#pragma once
// The analog input base: the raw codes an analog module returns and the three
// read exchanges that fetch them (a triple of 24-bit readings, a group of
// eight channels with its reference, sixteen 12-bit channels).

#include <array>
#include <cstdint>
#include <string>

#include "modules/tp7xxx.h"

namespace yukt {

// Link command of the analog modules' read requests.
constexpr int kCmdReadFirst = 2;
constexpr int kCmdReadSecond = 3;

class Ttp74xx : public Ttp7xxx {
  public:
    explicit Ttp74xx(ModuleContext& ctx) : Ttp7xxx(ctx) {}

    // Each exchange: 0 when the module answered and accepted, 1 when the link
    // is not open, -1 when Port is 0 or no valid reply came, -3 on a refusal.
    // The raw fields change only on an accepted reply.
    int ReadTriple(int line, int addr);
    int ReadGroup(int line, int addr);
    int Read16(int line, int addr);

    std::int32_t RawA() const { return m_rawA; }
    std::int32_t RawB() const { return m_rawB; }
    std::int32_t RawC16() const { return m_rawC16; }
    std::int32_t RawC24() const { return m_rawC24; }
    std::uint8_t Group() const { return m_group; }
    std::uint16_t RefCode() const { return m_refCode; }
    // Channel code 1..8 of the last group read; -1 for another number.
    int ChanCode(int n) const { return (n >= 1 && n <= 8) ? m_chanCodes[n - 1] : -1; }
    // Entry 1..16 of the sixteen-channel read; 0 for another number.
    std::int32_t Codes16(int n) const { return (n >= 1 && n <= 16) ? m_codes16[n - 1] : 0; }

  private:
    // Sends `cmd` without data and copies the reply data into `out` (missing
    // bytes of a short reply read as 0). Result as the exchanges above.
    template <std::size_t N>
    int request(int line, int addr, int cmd, std::array<std::uint8_t, N>& out);

    std::array<std::int32_t, 16> m_codes16{};
    std::int32_t m_rawA = 0;
    std::int32_t m_rawB = 0;
    std::int32_t m_rawC16 = 0;
    std::int32_t m_rawC24 = 0;
    std::uint8_t m_group = 0;
    std::uint16_t m_refCode = 0;
    std::array<std::uint16_t, 8> m_chanCodes{};
};

// A value field of the analog result lines: "%7.3f" with "."; a value that
// rounds to zero is shown without a minus sign.
std::string Field73(double x);

}  // namespace yukt
