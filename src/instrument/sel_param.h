#pragma once
// Picking words out of a reply line: the line is split into a table of at
// most 20 lower-case words, and each TESelParam value names one word of one
// model's reply line.

#include <array>
#include <string>

namespace yukt {

// The words of every model's reply line, in the order they stand in it.
// clang-format off
enum TESelParam : int {
    noDefine,
    m745t_Name, m745t_Nmb, m745t_Tx, m745t_Rx, m745t_Ret100, m745t_Ix, m745t_Rsnt10,
    m745x_Name, m745x_Nmb, m745x_Tx, m745x_Rx, m745x_Ret100,
    m746x_Name, m746x_Nmb, m746x_Tx, m746x_Rx, m746x_Ret100, m746x_Ux, m746x_Tx0, m746x_Tx20,
    m747x_Name, m747x_Nmb, m747x_Ux,
    m748x_Name, m748x_Nmb, m748x_I1, m748x_I2, m748x_I3, m748x_R1snt10, m748x_R2snt10,
    m748x_R3snt10,
    m748t_Name, m748t_Nmb, m748t_I1, m748t_I2, m748t_I3, m748t_R1snt10, m748t_R2snt10,
    m748t_R3snt10,
    m735t_Name, m735t_Nmb, m735t_Q1, m735t_T1, m735t_tz, m735t_Q2, m735t_T2, m735t_K1, m735t_K2,
    m735t_F1, m735t_Z100, m735t_O1, m735t_O2, m735t_R1, m735t_R2, m735t_F2, m735t_del1,
    m735t_del2,
    m735x_Name, m735x_Nmb, m735x_Q, m735x_T, m735x_tz, m735x_D1, m735x_D2, m735x_N, m735x_Ti,
    m735x_K1, m735x_K2, m735x_F, m735x_Z100, m735x_O1, m735x_O2, m735x_R1, m735x_R2,
    m735r_Name, m735r_Nmb, m735r_Q, m735r_T, m735r_tz, m735r_D1, m735r_D2, m735r_N, m735r_Ti,
    m735r_K1, m735r_K2, m735r_F, m735r_Z100, m735r_O1, m735r_O2, m735r_R1, m735r_R2,
    m765x_Name, m765x_Nmb, m765x_P0, m765x_P1, m765x_P2, m765x_P3,
    m787x_Name, m787x_Nmb, m787x_IzUz, m787x_Rejim,
    m787d_Name, m787d_Nmb, m787d_IzUz, m787d_Rejim,
    m788x_Name, m788x_Nmb, m788x_N, m788x_Ts, m788x_F,
    m788v_Name, m788v_Nmb, m788v_N, m788v_Ts, m788v_F,
    m788t_Name, m788t_Nmb, m788t_N, m788t_Ts, m788t_F,
};
// clang-format on

constexpr int kSelParamCount = m788t_F + 1;

// The words of the last reply line handed to sParam.
class WordTable {
  public:
    static constexpr int kWords = 20;
    // Longer texts are not split (the table keeps its words).
    static constexpr int kMaxChars = 239;

    // Splits a lower-case copy of `text` at blanks into words 1, 2, ...;
    // returns the number of words, or 0 (table unchanged) for an empty text,
    // a text longer than kMaxChars or a comment (";" first).
    int Split(const std::string& text);
    // Word n (1..20); empty outside.
    const std::string& Word(int n) const;

  private:
    std::array<std::string, kWords> m_words;
};

// The word number `value` selects in a reply line of the model in word 1,
// or 0 when it selects nothing (another model, a name or number word that
// the model's row does not serve, noDefine, an unknown value).
int SelectedWord(TESelParam value, const std::string& modelWord);

}  // namespace yukt
