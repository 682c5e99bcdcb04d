#include "verify/line_policy.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "instrument/line_check.h"
#include "link/attempt_wait.h"
#include "link/tp6606.h"
#include "verify/point_table.h"

namespace yukt::verify {

namespace {

// Who answers (or not) at model and number, as the operator names it.
std::string roleOf(const std::string& model, int number) {
    if (number == 2 || number == 3) return "модуль под поверкой";
    if (model == "787x" || model == "788t") return "генератор " + model;
    if (model == "745t") return "измеритель " + model;
    return "модуль " + model + " " + std::to_string(number);
}

}  // namespace

void UseLineAttempts() { Ttp6606::SetDefaultAttempts(kLineAttempts); }

double LineSpreadOf(const Plan& plan) {
    double spread = kMaxLineSpreadS;
    for (const PlanItem& it : plan.items)
        if (it.kind == OperationKind::Error && it.settling.timeoutS > 0)
            spread = std::min(spread, it.settling.timeoutS);
    return spread;
}

void SpreadLineAttempts(const Plan& plan) {
    SetAttemptSpread(std::chrono::milliseconds(std::lround(LineSpreadOf(plan) * 1000)));
}

void CutLineWaits() { CutAttemptWaits(); }

std::string LineLostReason(ModuleSet& set, const std::string& line) {
    if (!ReplyIsLineFault(set, line)) return {};
    const std::vector<std::string> w = ReplyWords(line);
    const int number = std::atoi(w[1].c_str());
    return "связь потеряна: " + roleOf(w[0], number) + " не отвечает " +
           ModulePlace(set, w[0], number);
}

}  // namespace yukt::verify
