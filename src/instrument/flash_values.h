#pragma once
// The values kept in a module's FLASH, without any I/O: a parameter is a
// decimal text ("," or "." as separator) padded with blanks; a coefficient
// is four bytes holding half the value (see FlashCoefBytes).

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace yukt {

// The number a stored parameter text holds; nothing when it holds none.
std::optional<double> FlashParamValue(const std::string& stored);
// The value of a coefficient's four stored bytes (after unmasking); nothing
// when they are not four or a packed digit is not decimal.
std::optional<double> FlashCoefValue(const std::string& bytes);
// The four stored bytes of a coefficient: half the value, integer part as a
// 16-bit word (high byte first), then four decimal digits packed two to a
// byte. Nothing when the half does not fit the word.
std::optional<std::array<std::uint8_t, 4>> FlashCoefBytes(double value);

}  // namespace yukt
