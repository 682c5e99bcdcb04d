#include "verify/bench_check.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "instrument/identify.h"
#include "instrument/line_check.h"
#include "verify/safe_check.h"

namespace yukt::verify {

std::string BenchNotReady(ModuleSet& set, const Plan& plan, int kind) {
    std::vector<std::pair<std::string, int>> underTest;
    switch (kind) {
        case kKind745t745t:
            underTest = {{"745t", 2}, {"745t", 3}};
            break;
        case kKind745t748x:
            underTest = {{"745t", 2}, {"748x", 3}};
            break;
        case kKind748x748x:
            underTest = {{"748x", 2}, {"748x", 3}};
            break;
        default:
            underTest = {{ModelOfKind(kind), 2}};
    }
    for (const auto& [model, number] : underTest)
        if (std::string why = NotAnswering(set, model, number, "модуль под поверкой"); !why.empty())
            return why;
    bool current = false, meter = false, frequency = false;
    for (const PlanItem& it : plan.items) {
        if (it.kind != OperationKind::Error) continue;
        current |= it.quantity == Quantity::Current;
        meter |= it.quantity == Quantity::GeneratorCurrent;
        frequency |= it.quantity != Quantity::Current && it.quantity != Quantity::GeneratorCurrent;
    }
    if (current)
        if (std::string why = NotAnswering(set, "787x", 1, "генератор 787x"); !why.empty())
            return why;
    if (meter)
        if (std::string why = NotAnswering(set, "745t", 1, "измеритель 745t"); !why.empty())
            return why;
    if (frequency)
        if (std::string why = NotAnswering(set, "788t", 1, "генератор 788t"); !why.empty())
            return why;
    return "";
}

std::vector<std::string> ForAnsweringGenerators(ModuleSet& set,
                                                const std::vector<std::string>& safe) {
    std::vector<std::string> out;
    for (const std::string& c : safe) {
        const std::string g = GeneratorOf(c);
        const std::size_t space = g.find(' ');
        if (space == std::string::npos ||
            NotAnswering(set, g.substr(0, space), std::atoi(g.c_str() + space + 1), "").empty())
            out.push_back(c);
    }
    return out;
}

}  // namespace yukt::verify
