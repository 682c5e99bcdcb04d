#include "instrument/sel_param.h"

#include <string_view>

#include "common/cp1251.h"

namespace yukt {

namespace {

// One model's run of TESelParam values: the run's first value selects word
// 1 of the line, the next word 2 and so on, starting at `firstServed`.
struct SelRow {
    TESelParam first;
    TESelParam last;
    TESelParam firstServed;
    std::string_view model;
};

// The generator and discrete rows do not serve their name and number words.
constexpr SelRow kRows[] = {
    {m745t_Name, m745t_Rsnt10, m745t_Name, "745t"},
    {m745x_Name, m745x_Ret100, m745x_Name, "745x"},
    {m746x_Name, m746x_Tx20, m746x_Name, "746x"},
    {m747x_Name, m747x_Ux, m747x_Name, "747x"},
    {m748x_Name, m748x_R3snt10, m748x_Name, "748x"},
    {m748t_Name, m748t_R3snt10, m748t_Name, "748t"},
    {m735t_Name, m735t_del2, m735t_Name, "735t"},
    {m735x_Name, m735x_R2, m735x_Name, "735x"},
    {m735r_Name, m735r_R2, m735r_Name, "735r"},
    {m765x_Name, m765x_P3, m765x_P0, "765x"},
    {m787x_Name, m787x_Rejim, m787x_IzUz, "787x"},
    {m787d_Name, m787d_Rejim, m787d_IzUz, "787d"},
    {m788x_Name, m788x_F, m788x_N, "788x"},
    {m788v_Name, m788v_F, m788v_N, "788v"},
    {m788t_Name, m788t_F, m788t_N, "788t"},
};

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

int WordTable::Split(const std::string& text) {
    if (text.empty() || text.front() == ';' || CharCount(text) > kMaxChars) return 0;
    const std::string lower = lowerAscii(text);
    for (std::string& w : m_words) w.clear();
    int count = 0;
    std::size_t pos = 0;
    while (count < kWords) {
        while (pos < lower.size() && lower[pos] == ' ') ++pos;
        if (pos == lower.size()) break;
        std::size_t end = lower.find(' ', pos);
        if (end == std::string::npos) end = lower.size();
        m_words[count++] = lower.substr(pos, end - pos);
        pos = end;
    }
    return count;
}

const std::string& WordTable::Word(int n) const {
    static const std::string kNone;
    return (n >= 1 && n <= kWords) ? m_words[n - 1] : kNone;
}

int SelectedWord(TESelParam value, const std::string& modelWord) {
    for (const SelRow& row : kRows) {
        if (value < row.first || value > row.last) continue;
        if (value < row.firstServed || modelWord != row.model) return 0;
        return value - row.first + 1;
    }
    return 0;
}

}  // namespace yukt
