#include "instrument/under_test_ident.h"

#include "instrument/model_tables.h"

namespace yukt {

namespace {

template <class Table>
bool take(const Table& table, int number, std::string& ident) {
    const auto* m = table.FirstPresent(number);
    if (m == nullptr || m->IdentText().empty() || m->IdentText() == "?") return false;
    ident = m->IdentText();
    return true;
}

}  // namespace

std::string UnderTestIdent(ModuleSet& set, int number) {
    ModelTables& t = set.Tables();
    std::string ident;
    take(t.t745t, number, ident) || take(t.t748x, number, ident) ||
        take(t.t748t, number, ident) || take(t.t735t, number, ident) ||
        take(t.t735x, number, ident) || take(t.t787x, number, ident);
    return ident;
}

}  // namespace yukt
