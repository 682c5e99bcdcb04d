// Module FLASH: the triple copies and masks of the layout, cell by cell.

#include "sim/flash.h"

#include <gtest/gtest.h>

#include "common/module_ids.h"

namespace yukt::sim {
namespace {

// Writes a parameter the way the workstation does: cell by cell, masked.
void storeParamCopies(Flash& f, int n, const std::string& c1, const std::string& c2,
                      const std::string& c3) {
    const std::string* copies[3] = {&c1, &c2, &c3};
    const int bases[3] = {246, 316, 386};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 10; ++i)
            f.write(bases[c] + 10 * n + i,
                    static_cast<std::uint8_t>((*copies[c])[static_cast<std::size_t>(i)] ^
                                              ids::kMaskM[static_cast<std::size_t>(c)]));
}

TEST(Flash, ParametersNeedThreeEqualCopies) {
    const struct {
        const char* name;
        std::string c1, c2, c3;
        std::optional<double> value;
    } cases[] = {
        {"blanks and decimal comma", "   1234,56", "   1234,56", "   1234,56", 1234.56},
        {"copy 2 differs", "   1234,56", "   1234,57", "   1234,56", std::nullopt},
        {"decimal point", "  7374.611", "  7374.611", "  7374.611", 7374.611},
        {"not a number", "   12x4,56", "   12x4,56", "   12x4,56", std::nullopt},
        {"only blanks", "          ", "          ", "          ", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Flash f;
        storeParamCopies(f, 3, c.c1, c.c2, c.c3);
        EXPECT_EQ(f.param(3), c.value);
    }
}

TEST(Flash, StoredParametersLieWhereTheLayoutSays) {
    Flash f;
    f.setParam(5, 100.02);
    EXPECT_EQ(f.paramText(5), "    100,02");
    // Copy 3 of parameter 5 starts at 386 + 50; its first character is a blank.
    EXPECT_EQ(f.read(436), ' ' ^ ids::kMaskM[2]);
    EXPECT_EQ(f.read(296 + 9), '2' ^ ids::kMaskM[0]);  // the last character of copy 1
    EXPECT_EQ(f.read(256), 0xFF);                      // parameter 1 untouched
    EXPECT_EQ(Flash::paramTextOf(7374.6075308), "7374,60753");
    EXPECT_EQ(Flash::paramTextOf(100), "       100");
    EXPECT_EQ(Flash().param(1), std::nullopt);  // erased cells
}

TEST(Flash, CoefficientsKeepHalfTheValueInPackedDecimal) {
    const struct {
        double value;
        std::array<std::uint8_t, 4> bytes;  // unmasked
        double readBack;                    // twice the four kept digits of the half
    } cases[] = {
        {2.0, {0x00, 0x01, 0x00, 0x00}, 2.0},
        {65535.9999, {0x7F, 0xFF, 0x99, 0x99}, 65535.9998},
        {10.5, {0x00, 0x05, 0x25, 0x00}, 10.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Flash f;
        f.setCoef(2, c.value);
        for (int copy = 0; copy < 3; ++copy)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(f.read(462 + 8 * copy + 8 + i),
                          c.bytes[static_cast<std::size_t>(i)] ^
                              ids::kMaskN[static_cast<std::size_t>(copy)]);
        ASSERT_TRUE(f.coef(2));
        EXPECT_NEAR(*f.coef(2), c.readBack, 1e-9);
    }
    // Written with the parameter masks (as the workstation marks "not set"),
    // the copies no longer agree under N1..N3.
    Flash f;
    for (int copy = 0; copy < 3; ++copy)
        for (int i = 0; i < 4; ++i)
            f.write(462 + 8 * copy + 4 + i, ids::kMaskM[static_cast<std::size_t>(copy)]);
    EXPECT_EQ(f.coef(1), std::nullopt);
}

TEST(Flash, AddressNeedsThreeEqualCells) {
    Flash f;
    f.setAddress(6);
    EXPECT_EQ(f.read(0), 6);
    EXPECT_EQ(f.read(16), 6);
    EXPECT_EQ(f.read(32), 6);
    EXPECT_EQ(f.address(), 6);
    f.write(16, 5);
    EXPECT_EQ(f.address(), std::nullopt);
    f.write(5000, 1);  // outside the FLASH: ignored
    EXPECT_EQ(f.read(5000), 0xFF);
}

}  // namespace
}  // namespace yukt::sim
