#include "instrument/line_check.h"

#include <sstream>

#include "instrument/model_tables.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

// f(driver) for the first configured module `number` of `model`.
template <class F>
bool withModule(ModuleSet& set, const std::string& model, int number, F&& f) {
    bool found = false;
    ForEachModel(set.Tables(), [&](auto& table, const CycleSteps&) {
        if (found || table.Code() != model) return;
        table.ForEach([&](const Ttp7xxx& m) {
            if (found || m.Number() != number || !m.Configured()) return;
            found = true;
            f(m);
        });
    });
    return found;
}

std::string place(const Ttp7xxx& m) {
    const Ttp6606* link = m.LinkObject();
    std::string where;
    if (link != nullptr && link->ComNumber() > 0)
        where = "COM" + std::to_string(link->ComNumber());
    else
        where = "COM" + std::to_string(m.Com());
    return "по адресу " + std::to_string(m.Addr()) + " (" + where + ")";
}

}  // namespace

std::string ModulePlace(ModuleSet& set, const std::string& model, int number) {
    std::string out;
    withModule(set, model, number, [&](const Ttp7xxx& m) { out = place(m); });
    return out;
}

std::string NotAnswering(ModuleSet& set, const std::string& model, int number,
                         const std::string& role) {
    std::string out;
    const bool configured = withModule(set, model, number, [&](const Ttp7xxx& m) {
        if (m.Present()) return;
        out = role + " не отвечает " + place(m);
        const Ttp6606* link = m.LinkObject();
        // A port that is gone says why; a module that is silent says nothing.
        if (link != nullptr && (!link->IsOpen() || link->LineLost()) && !link->ErrorMessage().empty())
            out += ": " + link->ErrorMessage();
    });
    if (!configured) out = role + " (" + model + " " + std::to_string(number) + ") не настроен";
    return out;
}

int LinkOfModule(ModuleSet& set, const std::string& model, int number) {
    int port = 0;
    withModule(set, model, number, [&](const Ttp7xxx& m) { port = m.Port(); });
    return port;
}

bool ReplyIsLineFault(ModuleSet& set, const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    // Only a failed exchange (4: no identification, 5: the last exchange)
    // can be the line's; range and parameter errors are the command's.
    if (words.size() < 4 || words[2] != "Err" || (words[3] != "4" && words[3] != "5"))
        return false;
    int number = 0;
    for (char c : words[1]) {
        if (c < '0' || c > '9' || number > 1000) return false;
        number = number * 10 + (c - '0');
    }
    bool fault = false;
    withModule(set, words[0], number, [&](const Ttp7xxx& m) {
        const Ttp6606* link = m.LinkObject();
        // Never found on its line, a line gone, or no valid frame after
        // every attempt: nothing the module said.
        fault = !m.Present() || link == nullptr || !link->IsOpen() || link->LineLost() ||
                link->LastReceive() == -1;
    });
    return fault;
}

}  // namespace yukt
