// FLASH parameter and coefficient decoding, and the coefficient encoding
// read back.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "instrument/flash_values.h"

using namespace yukt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    FlashParamValue(bytes);
    if (auto coef = FlashCoefValue(bytes.substr(0, 4))) {
        FUZZ_CHECK(std::isfinite(*coef) && *coef >= 0 && *coef <= 2 * 65536.0);
    }

    if (size < sizeof(double)) return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const auto stored = FlashCoefBytes(value);
    if (!stored || value < 0) return 0;
    const auto back = FlashCoefValue(std::string(stored->begin(), stored->end()));
    FUZZ_CHECK(back.has_value());
    // Four decimals of the half are kept.
    FUZZ_CHECK(std::fabs(*back - value) <= 2.1e-4 * (1 + value / 1e6));
    return 0;
}
