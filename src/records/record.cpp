#include "records/record.h"

#include <QMap>

#include "records/ru_format.h"
#include "verify/plan.h"

namespace yukt::records {

verify::PointVerdict PointVerdictOf(const QString& result) {
    if (result == QLatin1String("pass")) return verify::PointVerdict::Pass;
    if (result == QLatin1String("fail")) return verify::PointVerdict::Fail;
    return verify::PointVerdict::NotMeasured;
}

verify::Attempt AttemptOf(const RecordPoint& p) {
    verify::Attempt t;
    t.item = p.item;
    t.number = p.attempt;
    t.result = PointVerdictOf(p.result);
    t.point.result = t.result;
    return t;
}

// The rule is the run's own: the stored plan and attempts are handed to it
// as they were recorded.
namespace {

// A software check passed without the identification it found (the run
// keeps it as the attempt's remark) proves nothing: it counts as not done.
bool Unproven(const QList<PlanEntry>& plan, const RecordPoint& a) {
    if (a.result != QLatin1String("pass") || !a.remark.trimmed().isEmpty()) return false;
    for (const PlanEntry& e : plan)
        if (e.item == a.item) return e.kind == QLatin1String("software");
    return false;
}

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
        tries.push_back(AttemptOf(a));
        if (Unproven(plan, a)) tries.back().result = verify::PointVerdict::NotMeasured;
    }
    return verify::Verdict(p, tries);
}

// The counting attempt per plan item, by the run's rule.
QMap<int, const RecordPoint*> CountingAttempts(const QList<RecordPoint>& attempts) {
    QMap<int, const RecordPoint*> out;
    for (const RecordPoint& a : attempts) {
        if (a.item <= 0) continue;
        const RecordPoint*& current = out[a.item];
        if (!current || verify::Supersedes(AttemptOf(a), AttemptOf(*current))) current = &a;
    }
    return out;
}

QString OperationText(const PlanEntry& e) {
    return e.title.isEmpty() ? e.operation : e.operation + " " + e.title;
}

// "4 мА — погрешность 0,51 % при допуске ±0,2 %"
QString PointFailure(const RecordPoint& p) {
    const QString unit = ErrorUnit(p);
    const QString space = unit.isEmpty() ? QString() : QStringLiteral(" ");
    const double limit = verify::RoundToResolution(LimitAt(p), p.resolution);
    return QStringLiteral("%1%2%3 — погрешность %4%5%6 при допуске ±%7%5%6")
        .arg(RuShort(p.nominal), p.unit.isEmpty() ? QString() : QStringLiteral(" "), p.unit,
             RuNumber(p.error, DecimalsFor(p).error), space, unit, RuShort(limit));
}

// "7.1 Внешний осмотр: не соответствует — скол корпуса"
QString ModuleFailure(const PlanEntry& e, const RecordPoint& p) {
    QString text = OperationText(e) + QStringLiteral(": не соответствует");
    const QString why = p.remark.isEmpty() ? p.reason : p.remark;
    if (!why.isEmpty()) text += QStringLiteral(" — ") + why;
    return text;
}

QString ChannelList(const QList<int>& channels) {
    QStringList out;
    for (int k = 0; k < channels.size();) {
        int j = k;
        while (j + 1 < channels.size() && channels[j + 1] == channels[j] + 1) ++j;
        out << (j > k + 1 ? QStringLiteral("%1–%2").arg(channels[k]).arg(channels[j])
                          : QString::number(channels[k]));
        if (j == k + 1) out << QString::number(channels[j]);
        k = j + 1;
    }
    return out.join(", ");
}

}  // namespace

QString VerdictOf(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts) {
    if (plan.isEmpty()) return VerdictOf(attempts);
    return QString::fromUtf8(verify::RunVerdictWord(PlanVerdict(plan, attempts).verdict));
}

// One reason per failed module operation and per channel of an error
// operation with failed points, in plan order; then what was not done, one
// reason per operation. Each reason is whole, so a cut to the registry's
// limit drops whole reasons.
QStringList PlanReasons(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts) {
    const QMap<int, const RecordPoint*> counting = CountingAttempts(attempts);
    QStringList failed, undone;
    QStringList failedKeys;
    QMap<QString, QStringList> failedPoints;        // "operation/channel" -> points
    QMap<QString, const PlanEntry*> failedEntry;
    QStringList undoneOps;
    QMap<QString, QList<int>> undoneChannels;       // operation -> channels
    QMap<QString, QStringList> undoneWhy;
    QMap<QString, const PlanEntry*> undoneEntry;
    for (const PlanEntry& e : plan) {
        const RecordPoint* p = counting.value(e.item);
        const QString result = p && !Unproven(plan, *p) ? p->result : QString();
        if (result == QLatin1String("fail")) {
            if (e.kind != QLatin1String("error")) {
                failedKeys << QString::number(-e.item);
                failedEntry[failedKeys.last()] = &e;
                failedPoints[failedKeys.last()] << ModuleFailure(e, *p);
                continue;
            }
            const QString key = e.operation + '/' + QString::number(e.channelNo);
            if (!failedPoints.contains(key)) {
                failedKeys << key;
                failedEntry[key] = &e;
            }
            failedPoints[key] << PointFailure(*p);
        } else if (result != QLatin1String("pass")) {
            if (!undoneEntry.contains(e.operation)) {
                undoneOps << e.operation;
                undoneEntry[e.operation] = &e;
            }
            if (e.channelNo > 0 && !undoneChannels[e.operation].contains(e.channelNo))
                undoneChannels[e.operation] << e.channelNo;
            const QString why = p ? p->reason : QString();
            if (!why.isEmpty() && !undoneWhy[e.operation].contains(why))
                undoneWhy[e.operation] << why;
        }
    }
    for (const QString& key : failedKeys) {
        const PlanEntry& e = *failedEntry[key];
        if (e.kind != QLatin1String("error"))
            failed << failedPoints[key].join("; ");
        else
            failed << QStringLiteral("%1, канал %2: ").arg(OperationText(e)).arg(e.channelNo) +
                          failedPoints[key].join("; ");
    }
    for (const QString& op : undoneOps) {
        const PlanEntry& e = *undoneEntry[op];
        const QList<int>& channels = undoneChannels[op];
        QString text = OperationText(e) + (e.kind == QLatin1String("error")
                                               ? QStringLiteral(": не измерено")
                                               : QStringLiteral(": не выполнена"));
        if (!channels.isEmpty())
            text += (channels.size() == 1 ? QStringLiteral(" — канал ")
                                          : QStringLiteral(" — каналы ")) +
                    ChannelList(channels);
        if (!undoneWhy[op].isEmpty()) text += " (" + undoneWhy[op].join("; ") + ")";
        undone << text;
    }
    return failed + undone;
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
