#include "verify/line_policy.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "link/attempt_wait.h"
#include "link/tp6606.h"

namespace yukt::verify {

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

}  // namespace yukt::verify
