// Set-point arithmetic of the generators: DAC codes by mode, the correction
// table, the limits of out-of-range set-points and the request bytes.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "modules/tp78d7.h"
#include "modules/tp78x7.h"

namespace yukt {
namespace {

TEST(Generator787x, DacCodeByMode) {
    const struct {
        int rezhim;  // 1-based, as in the cfg column and the "Set" command
        double x;
        std::uint16_t code;
    } cases[] = {
        {1, 2500, 32767}, {1, 0, 0},      {1, 5000, 65535}, {1, 6000, 65535},  // above 5000 mV:
                                                                               // held at 5000
                                                                               // instead of
                                                                               // wrapping
        {1, -10, 0},                       // negative: held at 0 instead of wrapping
        {2, 12, 32767},   {2, 2, 0},       // below 4 mA: 4 mA
        {2, 3, 0},        {2, 25, 65535},  // above 20 mA: 20 mA
        {2, 20, 65535},   {3, 21, 65535}, {3, 10, 32767},   {3, -1, 0},       {4, 24, 65535},
        {4, 30, 65535},   {4, 12, 32767}, {4, -0.5, 0},     {6, 12, 32767},   {7, 6, 16383},
        {8, 24, 65535},   {9, 10, 27309},  // corrected: 10 - (-1.2 µA) = 10.0012 mA
        {9, 0.0001, 0},                    // below the correction's threshold: uncorrected
        {9, 24, 65535},                    // above 20 mA: no correction
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ttp78x7::DacCode(static_cast<std::uint8_t>(c.rezhim - 1), c.x), c.code)
            << "Режим " << c.rezhim << ", " << c.x;
}

TEST(Generator787x, CorrectionTable) {
    const struct {
        double x;
        float y;
    } cases[] = {
        {0.00016, 0},    {0.0002, 0.16f + (-0.7f - 0.16f) * 0.0002f / 0.5f},
        {0.5, -0.7f},    {10, -1.2f},
        {9.75, -0.85f},  {20, -17.0f},
        {20.01, 0},      {-3, 0},
        {19.75, -15.5f},
    };
    for (const auto& c : cases) EXPECT_NEAR(Ttp78x7::Correction(c.x), c.y, 1e-5) << c.x;
}

TEST(Generator787x, ModeBytes) {
    const std::uint8_t expected[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x13, 0x23, 0x43, 0x03, 9, 200};
    const std::uint8_t modes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 200};
    for (std::size_t i = 0; i < std::size(modes); ++i)
        EXPECT_EQ(Ttp78x7::ModeByte(modes[i]), expected[i]) << int(modes[i]);
}

TEST(Generator787x, SetPointRequestBytes) {
    const auto a = Ttp78x7::SetPointRequest(0x13, 32767, 32767, 32000);
    EXPECT_EQ(a, (std::array<std::uint8_t, 7>{0x13, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x7D}));
    // Different codes: the smaller first, then (difference >> 8) + 1.
    const auto b = Ttp78x7::SetPointRequest(0x03, 0x1234, 0x0100, 32000);
    EXPECT_EQ(b, (std::array<std::uint8_t, 7>{0x03, 0x00, 0x01, 0x12, 0x00, 0x00, 0x7D}));
}

TEST(Generator787d, ChannelRequestBytes) {
    const struct {
        int channelIndex;
        double x;
        std::uint16_t code;
        std::array<std::uint8_t, 2> bytes;
    } cases[] = {
        {1, 12, 32767, {0x17, 0xFF}}, {0, 24, 65535, {0x0F, 0xFF}},
        {3, 0, 0, {0x30, 0x00}},      {2, 30, 65535, {0x2F, 0xFF}},  // above 24 mA: 24 mA
        {2, -5, 0, {0x20, 0x00}},  // negative: held at 0 instead of wrapping
        {3, 1, 2730, {0x30, 0xAA}},
    };
    for (const auto& c : cases) {
        const std::uint16_t code = Ttp78d7::DacCode(c.x);
        EXPECT_EQ(code, c.code) << c.x;
        EXPECT_EQ(Ttp78d7::ChannelRequest(c.channelIndex, code), c.bytes) << c.x;
    }
}

}  // namespace
}  // namespace yukt
