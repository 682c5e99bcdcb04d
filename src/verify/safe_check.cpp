#include "verify/safe_check.h"

#include <algorithm>
#include <sstream>

#include "verify/point_table.h"

namespace yukt::verify {

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string generatorOf(const std::vector<std::string>& w) {
    if (w.size() < 5 || w[0] != "Set" || (w[1] != "787x" && w[1] != "788t")) return "";
    return w[1] + " " + w[2];
}

}  // namespace

std::vector<std::string> MethodologySafeCommands(const Methodology& m, int kind) {
    if (kind <= 0 && !m.models.empty()) kind = KindOfModel(m.models.front());
    std::vector<std::string> out;
    for (const Operation& op : m.operations) {
        if (op.kind != OperationKind::Error) continue;
        const bool current =
            op.quantity == Quantity::Current || op.quantity == Quantity::GeneratorCurrent;
        const std::string c =
            current ? CurrentCommand(kind, op.safeValue) : std::string(kGeneratorIdle);
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

std::vector<std::string> PlanSafeCommands(const Plan& plan) {
    std::vector<std::string> out;
    for (const PlanItem& it : plan.items) {
        if (it.kind != OperationKind::Error) continue;
        const bool current =
            it.quantity == Quantity::Current || it.quantity == Quantity::GeneratorCurrent;
        const std::string c =
            current ? CurrentCommand(plan.kind, it.safeValue) : std::string(kGeneratorIdle);
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

std::string GeneratorOf(const std::string& command) { return generatorOf(words(command)); }

void SafeCheck::Sent(const std::string& command) {
    if (m_begun) return;
    const std::vector<std::string> w = words(command);
    const std::string g = generatorOf(w);
    if (g.empty()) return;
    const char* unit = w[1] == "787x" ? " мА" : w[4] == "3" ? " Гц" : w[4] == "4" ? " с" : "";
    m_lastSet[g] = w[3] + unit;
}

std::vector<std::string> SafeCheck::Begin(const std::vector<std::string>& safe) {
    m_begun = true;
    m_confirm.clear();
    std::vector<std::string> out = safe;
    for (const std::string& c : safe) {
        const std::string g = GeneratorOf(c);
        if (!g.empty() && std::find(m_confirm.begin(), m_confirm.end(), g) == m_confirm.end())
            m_confirm.push_back(g);
    }
    for (const std::string& g : m_confirm) out.push_back("Get " + g);
    return out;
}

void SafeCheck::Reply(const std::string& line) {
    const std::vector<std::string> w = words(line);
    if (w.size() < 3) return;
    const auto it = std::find(m_confirm.begin(), m_confirm.end(), w[0] + " " + w[1]);
    if (it == m_confirm.end()) return;
    const std::string g = *it;
    m_confirm.erase(it);
    if (w[2] == "Err") NotConfirmed(g);
}

void SafeCheck::Expire() {
    for (const std::string& g : m_confirm) NotConfirmed(g);
    m_confirm.clear();
}

void SafeCheck::NotConfirmed(const std::string& generator) {
    const auto last = m_lastSet.find(generator);
    const std::string what = last != m_lastSet.end() ? "генератор мог остаться на " + last->second
                                                     : "генератор " + generator + " не ответил";
    m_problem += (m_problem.empty() ? "безопасное значение не подтверждено: " : "; ") + what;
}

}  // namespace yukt::verify
