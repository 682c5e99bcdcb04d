#pragma once
// The lines yukt-verify prints: one per point and a verdict line, as text
// for the operator or as one JSON object per line for other programs.

#include <ostream>
#include <string>

#include "verify/point_result.h"
#include "verify/procedure.h"

namespace yukt::verify {

// {"point": n, "nominal": x, ... "reason": "..."}
std::string PointJson(const PointResult& p);
// {"verdict": "годен", "points": n, "failed": k}
std::string VerdictJson(const RunResult& r);
std::string PointText(const PointResult& p, Quantity q);
std::string VerdictText(const RunResult& r);

class RunPrinter : public ProgressSink {
  public:
    RunPrinter(std::ostream& out, bool json, std::string serial);
    // Text mode: names the procedure and the module before the points.
    void Header(const Procedure& p);

    void PointStarted(int, int, double) override {}
    void PointFinished(const PointResult& point) override;
    void RunFinished(const RunResult& run) override;

  private:
    std::ostream& m_out;
    bool m_json;
    std::string m_serial;
    Quantity m_quantity = Quantity::Current;
};

}  // namespace yukt::verify
