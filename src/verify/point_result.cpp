#include "verify/point_result.h"

namespace yukt::verify {

const char* ErrorKindWord(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Rel:
            return "rel";
        case ErrorKind::Reduced:
            return "reduced";
        default:
            return "abs";
    }
}

const char* PointVerdictWord(PointVerdict v) {
    switch (v) {
        case PointVerdict::Pass:
            return "pass";
        case PointVerdict::Fail:
            return "fail";
        default:
            return "not measured";
    }
}

const char* RunVerdictWord(RunVerdict v) {
    switch (v) {
        case RunVerdict::Fit:
            return "годен";
        case RunVerdict::Unfit:
            return "не годен";
        default:
            return "прервано";
    }
}

RunVerdict Judge(const std::vector<PointResult>& results, int plannedPoints, bool stopped) {
    bool unmeasured = stopped || static_cast<int>(results.size()) < plannedPoints;
    bool failed = false;
    for (const PointResult& p : results) {
        if (p.result == PointVerdict::NotMeasured) unmeasured = true;
        if (p.result == PointVerdict::Fail) failed = true;
    }
    // A run that did not measure every point proves nothing either way.
    if (unmeasured) return RunVerdict::Interrupted;
    return failed ? RunVerdict::Unfit : RunVerdict::Fit;
}

}  // namespace yukt::verify
