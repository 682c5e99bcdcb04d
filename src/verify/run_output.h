#pragma once
// The lines yukt-verify prints: one per operation and point and a verdict
// line, as text for the operator or as one JSON object per line for other
// programs.

#include <ostream>
#include <string>

#include "verify/plan.h"
#include "verify/point_result.h"
#include "verify/procedure.h"

namespace yukt::verify {

// {"point": n, "nominal": x, ... "reason": "...", "operation": ID, "channel": N}
std::string PointJson(const PointResult& p);
// {"operation": ID, "title": ..., "result": "pass|fail|not done", "remark": ...}
std::string OperationJson(const PlanItem& item, const Attempt& a);
// {"verdict": "годен", "points": n, "failed": k, "not_measured": j,
//  "methodology": ID, "revision": r, "sha256": HEX}
std::string VerdictJson(const RunResult& r, const Plan& plan);
std::string PointText(const PointResult& p, Quantity q);
std::string OperationText(const PlanItem& item, const Attempt& a);
// The verdict and, for "не годен" and "прервано", the items that decided it.
std::string VerdictText(const RunResult& r, const Plan& plan);
// The error of a point as printed: to its resolution's decimals.
std::string ErrorText(double error, double resolution);

class RunPrinter : public ProgressSink {
  public:
    RunPrinter(std::ostream& out, bool json, std::string serial);
    // Text mode: names the methodology and the module before the items.
    void Header(const Methodology& m, const Plan& plan);

    void PointStarted(int, int, double) override {}
    void PointFinished(const PointResult& point) override;
    void RunFinished(const RunResult& run) override;
    void AttemptFinished(const PlanItem& item, const Attempt& a) override;

  private:
    std::ostream& m_out;
    bool m_json;
    std::string m_serial;
    Plan m_plan;
};

}  // namespace yukt::verify
