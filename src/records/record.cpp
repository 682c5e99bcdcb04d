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
namespace {

verify::VerdictResult PlanVerdict(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts) {
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
    return verify::Verdict(p, tries);
}

QString ItemText(const QList<PlanEntry>& plan, int item) {
    for (const PlanEntry& e : plan)
        if (e.item == item) {
            QString text = QStringLiteral("пункт %1 (%2").arg(item).arg(e.operation);
            if (e.channelNo > 0) text += QStringLiteral(", канал %1").arg(e.channelNo);
            return text + ")";
        }
    return QStringLiteral("пункт %1").arg(item);
}

}  // namespace

QString VerdictOf(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts) {
    if (plan.isEmpty()) return VerdictOf(attempts);
    return QString::fromUtf8(verify::RunVerdictWord(PlanVerdict(plan, attempts).verdict));
}

QStringList PlanReasons(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts) {
    const verify::VerdictResult v = PlanVerdict(plan, attempts);
    QStringList reasons;
    for (int item : v.failedItems)
        reasons << QStringLiteral("Не соответствует: ") + ItemText(plan, item);
    if (!v.notMeasuredItems.empty()) {
        QStringList items;
        for (int item : v.notMeasuredItems) items << ItemText(plan, item);
        reasons << QStringLiteral("Не измерено пунктов плана: %1 из %2: ")
                           .arg(v.notMeasuredItems.size())
                           .arg(plan.size()) +
                       items.join(", ");
    }
    return reasons;
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
