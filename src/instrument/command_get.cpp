#include "instrument/command.h"
#include "instrument/link_route.h"
#include "instrument/model_tables.h"

namespace yukt {

namespace {

bool isMemoryBank(const std::string& word) { return word == "mem1" || word == "mem2"; }

void publish(ModuleSet& set, const std::string& line) {
    if (!line.empty() && set.Context().PublishReply) set.Context().PublishReply(line);
}

// The memory line of entry n (counted in cfg order, not by Number) when that
// module reports to the component.
template <class Traits>
void memoryReply(ModuleSet& set, ModelTable<Traits>& table, int n, const std::string& bank) {
    auto* m = table.Module(n);
    if (m == nullptr || m->Link() != kLinkReply) return;
    publish(set, Traits::MemoryReply(*m, bank));
}

void flashReply(ModuleSet& set, ModelTable<Tp735vTraits>& table, int n,
                const std::string& request) {
    Ttp735v* m = table.Module(n);
    if (m == nullptr || m->Link() != kLinkReply) return;
    publish(set, m->Present() ? m->FlashLine(request) : Tp735vTraits::AbsentLine(*m, Route::Reply));
}

}  // namespace

void ExecGet(ModuleSet& set, const CommandWords& w) {
    ModelTables& t = set.Tables();
    const std::string& model = w[2];
    if (isMemoryBank(w[4])) {
        if (model == "735t") return memoryReply(set, t.t735t, w.N, w[4]);
        if (model == "735r") return memoryReply(set, t.t735r, w.N, w[4]);
        if (model == "735d") return memoryReply(set, t.t735d, w.N, w[4]);
        if (model == "735v") return memoryReply(set, t.t735v, w.N, w[4]);
    }
    if (model == "735v" && w[4] == "flash") return flashReply(set, t.t735v, w.N, w[5]);

    // A plain get reports every module of the model: N selects nothing.
    ForEachModel(t, [&](auto& table, const CycleSteps&) {
        if (table.Code() != model) return;
        WriteLink(table, set.Context().Links);
        table.WriteReply();
    });
}

void ExecCommand(ModuleSet& set, const std::string& line) {
    std::optional<CommandWords> w = SplitCommand(line);
    if (!w) return;
    if ((*w)[1] == "get")
        ExecGet(set, *w);
    else if ((*w)[1] == "set")
        ExecSet(set, *w);
}

}  // namespace yukt
