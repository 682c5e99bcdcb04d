#include "verify/point_result.h"

namespace yukt::verify {

const char* ErrorKindWord(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Rel:
            return "rel";
        case ErrorKind::Reduced:
            return "reduced";
        case ErrorKind::AbsRel:
            return "abs+rel";
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

}  // namespace yukt::verify
