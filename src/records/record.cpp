#include "records/record.h"

namespace yukt::records {

QString VerdictOf(const QList<RecordPoint>& points) {
    bool failed = false, unmeasured = points.isEmpty();
    for (const RecordPoint& p : points) {
        if (p.result == QLatin1String("fail"))
            failed = true;
        else if (p.result != QLatin1String("pass"))
            unmeasured = true;
    }
    // As the automatic run judges: a point never measured leaves the
    // verification unfinished, whatever the others gave.
    if (unmeasured) return kInterrupted;
    return failed ? kUnsuitable : kSuitable;
}

QDate ValidUntil(const QDate& verificationDate, int intervalMonths) {
    if (!verificationDate.isValid() || intervalMonths <= 0) return {};
    return verificationDate.addMonths(intervalMonths).addDays(-1);
}

QString VerdictForState(RecordState state, const QString& verdict) {
    if (state == RecordState::Interrupted) return kInterrupted;
    return verdict;
}

}  // namespace yukt::records
