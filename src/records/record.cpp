#include "records/record.h"

#include "verify/plan.h"

namespace yukt::records {
namespace {

verify::PointVerdict PointVerdictOf(const QString& result) {
    if (result == QLatin1String("pass")) return verify::PointVerdict::Pass;
    if (result == QLatin1String("fail")) return verify::PointVerdict::Fail;
    return verify::PointVerdict::NotMeasured;
}

}  // namespace

// The rule is the run's own: the stored plan and attempts are handed to it
// as they were recorded.
QString VerdictOf(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts) {
    if (plan.isEmpty()) return VerdictOf(attempts);
    verify::Plan p;
    for (const PlanEntry& e : plan) {
        verify::PlanItem item;
        item.item = e.item;
        item.operation = e.operation.toStdString();
        item.channel = e.channelNo;
        item.nominal = e.nominal;
        p.items.push_back(item);
    }
    std::vector<verify::Attempt> tries;
    for (const RecordPoint& a : attempts) {
        if (a.item <= 0) continue;  // a point outside the plan is no attempt at it
        verify::Attempt t;
        t.item = a.item;
        t.number = a.attempt;
        t.result = PointVerdictOf(a.result);
        t.point.result = t.result;
        tries.push_back(t);
    }
    return QString::fromUtf8(verify::RunVerdictWord(verify::Verdict(p, tries).verdict));
}

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
