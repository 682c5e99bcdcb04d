#include <gtest/gtest.h>

#include "instrument/cprbr.h"

namespace yukt {
namespace {

TEST(SelParam, ValuesKeepTheirOrdinals) {
    EXPECT_EQ(m745t_Name, 1);
    EXPECT_EQ(m745x_Name, 8);
    EXPECT_EQ(m746x_Name, 13);
    EXPECT_EQ(m747x_Name, 21);
    EXPECT_EQ(m748x_Name, 24);
    EXPECT_EQ(m748t_Name, 32);
    EXPECT_EQ(m735t_Name, 40);
    EXPECT_EQ(m735x_Name, 58);
    EXPECT_EQ(m735r_Name, 75);
    EXPECT_EQ(m765x_Name, 92);
    EXPECT_EQ(m787x_Name, 98);
    EXPECT_EQ(m787d_Name, 102);
    EXPECT_EQ(m788x_Name, 106);
    EXPECT_EQ(m788v_Name, 111);
    EXPECT_EQ(m788t_Name, 116);
    EXPECT_EQ(kSelParamCount, 121);
}

struct SelCase {
    const char* line;
    TESelParam value;
    const char* expected;
};

TEST(SelParam, PicksTheWordOfTheModelInWordOne) {
    const SelCase cases[] = {
        {"745t 2  21.500 108.380 100.000", m745t_Rx, "108.380"},
        {"745t 2  21.500 108.380 100.000", m745t_Name, "745t"},
        {"745t 2  21.500 108.380 100.000", m745t_Nmb, "2"},
        {"745t 2  21.500 108.380 100.000", m735x_N, ""},
        {"745t 2  21.500 108.380 100.000", m745t_Ix, ""},
        {"745T 2 X", m745t_Tx, "x"},
        {"765x 1 $0F $F0 $00 $FF", m765x_P0, "$0f"},
        {"765x 1 $0F $F0 $00 $FF", m765x_P3, "$ff"},
        {"765x 1 $0F $F0 $00 $FF", m765x_Name, ""},
        {"765x 1 $0F $F0 $00 $FF", m765x_Nmb, ""},
        {"787x 1  12.00000  6", m787x_IzUz, "12.00000"},
        {"787x 1  12.00000  6", m787x_Rejim, "6"},
        {"787x 1  12.00000  6", m787x_Nmb, ""},
        {"787x 1  12.00000  6", m787d_IzUz, ""},
        {"788t 1 50.000 0.500000 100.00000", m788t_F, "100.00000"},
        {"788t 1 50.000 0.500000 100.00000", m788t_N, "50.000"},
        {"788t 1 50.000 0.500000 100.00000", m788x_N, ""},
        {"735x 2 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", m735x_R2, "15"},
        {"735t 2 a b c d e f g h i j k l m n o p", m735t_del2, "p"},
        {"735r 2 a b c d", m735r_Q, "a"},
        {"748x 1 4.000", m748x_I1, "4.000"},
        {"748t 1 4.000", m748t_I1, "4.000"},
        {"747x 1 4.000", m747x_Ux, "4.000"},
        {"746x 1 a b c d e f", m746x_Tx20, "f"},
        {"745x 1 a b c", m745x_Ret100, "c"},
        {"788x 1 a b c", m788x_Ts, "b"},
        {"788v 1 a b c", m788v_F, "c"},
        {"787d 3 a b", m787d_Rejim, "b"},
        {"745t 2 a", noDefine, ""},
    };
    for (const SelCase& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " / " + std::to_string(c.value));
        TcPrbr p;
        p.SetsParam(c.line);
        p.SetSelParam(c.value);
        EXPECT_EQ(p.sParam(), c.expected);
        EXPECT_EQ(p.SelParam(), c.value);
    }
}

TEST(SParam, SplitsAReplyLineIntoWords) {
    TcPrbr p;
    p.SetsParam("745t 2 21.500 108.380");
    EXPECT_EQ(p.nParam(), 4);
    EXPECT_EQ(p.sParam(), "745t 2 21.500 108.380");
    p.SetnParam(3);
    EXPECT_EQ(p.sParam(), "21.500");
    p.SetnParam(21);
    EXPECT_EQ(p.sParam(), "");
    p.SetnParam(0);
    EXPECT_EQ(p.sParam(), "");

    // A comment, an empty or an overlong text leaves the words as they were.
    for (const std::string& text :
         {std::string(";745x 1 2"), std::string(), std::string(240, 'a')}) {
        p.SetsParam(text);
        EXPECT_EQ(p.nParam(), 0);
        EXPECT_EQ(p.sParam(), text);
        p.SetnParam(4);
        EXPECT_EQ(p.sParam(), "108.380");
    }

    p.SetsParam(std::string(239, 'b'));
    EXPECT_EQ(p.nParam(), 1);

    // At most twenty words are split.
    std::string many;
    for (int i = 1; i <= 25; ++i) many += " w" + std::to_string(i);
    p.SetsParam(many);
    EXPECT_EQ(p.nParam(), 20);
    p.SetnParam(20);
    EXPECT_EQ(p.sParam(), "w20");
}

}  // namespace
}  // namespace yukt
