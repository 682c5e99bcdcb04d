#include <vector>

#include "common/text.h"
#include "instrument/command.h"
#include "instrument/model_tables.h"

namespace yukt {

namespace {

// Words first..last of the command (missing ones empty).
std::vector<std::string> wordsFrom(const CommandWords& w, int first, int last) {
    std::vector<std::string> out;
    for (int i = first; i <= last; ++i) out.push_back(w[i]);
    return out;
}

// Re-addressing: the first present module numbered n of the model gets
// address a (1..14; other values leave it). The virtual module has none.
void readdress(ModelTables& t, const std::string& model, int n, int a) {
    if (model == "735v") return;
    ForEachModel(t, [&](auto& table, const CycleSteps&) {
        if (table.Code() != model) return;
        if (auto* m = table.FirstPresent(n)) m->SetAddr(a);
    });
}

// mem1/mem2 of the two-channel models: the data word as typed, cut or
// extended to the bank's 16 characters.
template <class Table>
void writeMemory(Table& table, int n, int bank, const std::string& data) {
    if (auto* m = table.FirstPresent(n)) m->WriteMemory(bank, FitMemoryText(data));
}

// The resistance characteristic ("ГОСТ" column) of the RTD inputs: 1..5.
template <class Table>
void setMaterial(Table& table, int n, const std::string& word) {
    std::optional<int> k = IntWord(word);
    if (!k || *k < 1 || *k > 5) return;
    if (auto* m = table.FirstPresent(n)) m->SetMaterial(*k);
}

template <class Table>
void applySetForm(Table& table, int n, const std::vector<std::string>& words) {
    if (auto* m = table.FirstPresent(n)) m->ApplySetCommand(words);
}

// Set-point x and Режим k of the current generators: every present module
// numbered n.
template <class Table>
void setGenerator(Table& table, int n, const CommandWords& w) {
    std::optional<double> x = RealWord(w[4]);
    std::optional<int> k = IntWord(w[5]);
    if (x && k) SetModule(table, n, *k, *x);
}

// Discrete outputs: four hexadecimal port bytes.
void setPorts(ModelTable<Tp765xTraits>& table, int n, const CommandWords& w) {
    std::array<std::uint8_t, 4> ports{};
    for (int i = 0; i < 4; ++i) ports[i] = static_cast<std::uint8_t>(HexToWord(w[4 + i]));
    SetModule(table, n, ports);
}

// Indication console: a row and eight values, each converted as the
// operator's locale writes numbers; a missing or malformed word throws.
void setDisplay(ModelTable<Tp795bTraits>& table, int n, const CommandWords& w) {
    const int row = IntOrThrow(w[4]);
    Ttp76xx::DisplayValues values{};
    for (int i = 0; i < Ttp76xx::kDisplayPositions; ++i)
        values[i] = static_cast<float>(LocaleRealOrThrow(w[5 + i]));
    SetModule(table, n, row, values);
}

bool memoryRow(ModelTables& t, const CommandWords& w) {
    const int bank = w[4] == "mem1" ? 1 : w[4] == "mem2" ? 2 : 0;
    const std::string& model = w[2];
    if (bank != 0) {
        if (model == "735t") return writeMemory(t.t735t, w.N, bank, w.Data), true;
        if (model == "735r") return writeMemory(t.t735r, w.N, bank, w.Data), true;
        if (model == "735d") return writeMemory(t.t735d, w.N, bank, w.Data), true;
        if (model == "735v") return writeMemory(t.t735v, w.N, bank, w.Data), true;
    }
    if (model == "735v" && w[4] == "flash") {
        if (Ttp735v* m = t.t735v.FirstPresent(w.N)) m->WriteFlash(w.Data);
        return true;
    }
    return false;
}

}  // namespace

void ExecSet(ModuleSet& set, const CommandWords& w) {
    ModelTables& t = set.Tables();
    const std::string& model = w[2];
    const int n = w.N;
    if (w[4] == "addr") {
        IntOrThrow(w[3]);
        readdress(t, model, n, IntOrThrow(w[5]));
        return;
    }
    if (memoryRow(t, w)) return;

    if (model == "745x") return setMaterial(t.t745x, n, w[4]);
    if (model == "745b") return setMaterial(t.t745b, n, w[4]);
    if (model == "745t") return setMaterial(t.t745t, n, w[4]);
    if (model == "746x") return setMaterial(t.t746x, n, w[4]);
    // 747x, 748x and 748t have nothing to set.
    if (model == "735x") return applySetForm(t.t735x, n, wordsFrom(w, 4, 8));
    if (model == "735r") return applySetForm(t.t735r, n, wordsFrom(w, 4, 5));
    if (model == "735t") return applySetForm(t.t735t, n, wordsFrom(w, 4, 8));
    if (model == "735d") return applySetForm(t.t735d, n, wordsFrom(w, 4, 8));
    if (model == "735v") return applySetForm(t.t735v, n, wordsFrom(w, 4, 8));
    if (model == "787x") return setGenerator(t.t787x, n, w);
    if (model == "787d") return setGenerator(t.t787d, n, w);
    if (model == "765x") return setPorts(t.t765x, n, w);
    if (model == "795b") return setDisplay(t.t795b, n, w);
    if (model == "788x") {
        if (auto s = Parse788xSet(w[4], w[5], w[6])) SetModule(t.t788x, n, *s);
        return;
    }
    if (model == "788t") {
        if (auto s = Parse788tSet(w[4], w[5], w[6], w[7])) SetModule(t.t788t, n, *s);
        return;
    }
    if (model == "788v") {
        if (auto s = Parse788vSet(w[4], w[5], w[6], w[7], w[8])) SetModule(t.t788v, n, *s);
        return;
    }
}

}  // namespace yukt
