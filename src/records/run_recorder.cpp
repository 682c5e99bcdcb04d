#include "records/run_recorder.h"

#include "common/text.h"
#include "records/db_credentials.h"
#include "verify/software_ident.h"

namespace yukt::records {

QString UnitOf(verify::Quantity q) { return QString::fromUtf8(verify::QuantityUnit(q)); }

RecordPoint ToRecordPoint(const verify::PointResult& p, const QString& unit) {
    RecordPoint r;
    r.procedure = QString::fromStdString(p.procedure);
    r.channel = QString::fromStdString(p.channel);
    r.channelNo = p.channelNo;
    r.unit = unit;
    r.nominal = p.nominal;
    r.reference = p.reference;
    for (double x : p.readings) r.readings << x;
    r.measured = p.measured;
    r.errorKind = QString::fromUtf8(verify::ErrorKindWord(p.errorKind));
    r.error = p.error;
    r.limit = p.limit;
    r.result = QString::fromUtf8(verify::PointVerdictWord(p.result));
    r.reason = QString::fromStdString(p.reason);
    return r;
}

RecordPoint ToRecordPoint(const verify::PlanItem& item, const verify::Attempt& a) {
    using verify::OperationKind;
    RecordPoint r;
    if (item.kind == OperationKind::Error) {
        r = ToRecordPoint(a.point, UnitOf(item.quantity));
        r.errorKind = QString::fromUtf8(verify::ToleranceKindWord(item.tolerance.kind));
        r.limit = item.tolerance.a;
        r.limit2 = item.tolerance.b;
        r.spanLow = item.tolerance.spanLow;
        r.spanHigh = item.tolerance.spanHigh;
        r.resolution = item.tolerance.resolution;
        r.refRatio = item.refRatio;
        r.hasU = item.refRatio > 0 && a.point.result != verify::PointVerdict::NotMeasured;
        r.referenceError = a.point.referenceError;
        r.u = a.point.u;
        r.marginal = a.point.marginal;
        r.channelNo = item.channel;
        r.channel = QString::number(item.channel);
    } else {
        r.procedure = QString::fromStdString(item.title);
        r.manual = item.kind == OperationKind::Inspection;
    }
    r.operation = QString::fromStdString(item.operation);
    r.item = item.item;
    r.attempt = a.number;
    r.result = QString::fromUtf8(verify::PointVerdictWord(a.result));
    if (r.reason.isEmpty() && a.result == verify::PointVerdict::NotMeasured)
        r.reason = QString::fromStdString(a.remark);
    // The software operation's remark is the identification it found.
    r.remark = QString::fromStdString(a.found.empty() ? a.remark : a.found);
    r.measuredAt = QDateTime::currentDateTimeUtc();
    return r;
}

void FillMethodology(Record& record, const verify::Plan& plan) {
    record.methodologyId = QString::fromStdString(plan.methodologyId);
    record.methodologyRevision = plan.revision;
    record.methodologySha256 = QString::fromStdString(plan.sha256);
    record.intervalMonths = plan.intervalMonths;
    record.plan.clear();
    for (const verify::PlanItem& it : plan.items) {
        PlanEntry e;
        e.item = it.item;
        e.operation = QString::fromStdString(it.operation);
        e.title = QString::fromStdString(it.title);
        e.kind = QString::fromUtf8(verify::OperationKindWord(it.kind));
        e.channelNo = it.channel;
        e.nominal = it.nominal;
        if (it.kind == verify::OperationKind::Error) e.unit = UnitOf(it.quantity);
        for (const std::string& v : it.acceptedVersions)
            e.acceptedVersions << QString::fromStdString(v);
        record.plan << e;
    }
}

void FillIdentification(Record& record, const std::string& first, const std::string& second) {
    const verify::SoftwareCheck found = verify::CheckSoftware(first, second, {});
    if (!found.known) return;
    record.module.identText = QString::fromStdString(second.empty() ? first : first + ", " + second);
    record.module.designation =
        QString::fromStdString(found.found.substr(0, found.found.find(" (")));
    record.softwareFound = QString::fromStdString(found.found);
}

RunRecorder::RunRecorder(RecordStore& store, qint64 recordId, const QString& unit,
                         verify::ProgressSink* next, bool closeAtEnd)
    : m_store(store), m_id(recordId), m_unit(unit), m_next(next), m_closeAtEnd(closeAtEnd) {}

// Points still held are written, but a failure now stops nothing.
RunRecorder::~RunRecorder() {
    m_stop = nullptr;
    Commit();
}

// From here on nothing goes to the database, so that the points reach it in
// their order once it is back.
void RunRecorder::Lose() {
    if (m_error.isEmpty())
        m_error = HidePassword(m_store.LastError(), m_store.Database().password());
    m_spool = std::make_unique<PointSpool>(
        m_store, m_id, QStringLiteral("база данных записей недоступна: ") + m_error);
    if (m_stop) m_stop();
}

// The attempts of one event go to the database together, before the run
// waits for the next: a crash loses at most the event in progress.
void RunRecorder::Commit() {
    if (m_pending.isEmpty()) return;
    if (!m_spool && !m_store.AddPoints(m_id, m_pending)) Lose();
    if (m_spool)
        for (const RecordPoint& r : m_pending) m_spool->Keep(r);
    m_pending.clear();
}

void RunRecorder::EventHandled() {
    Commit();
    if (m_next) m_next->EventHandled();
}

void RunRecorder::PointStarted(int index, int count, double nominal) {
    Commit();
    if (m_next) m_next->PointStarted(index, count, nominal);
}

// Points are committed with their attempt, which knows the plan item.
void RunRecorder::PointFinished(const verify::PointResult& point) {
    if (m_next) m_next->PointFinished(point);
}

void RunRecorder::AttemptFinished(const verify::PlanItem& item, const verify::Attempt& attempt) {
    RecordPoint r = ToRecordPoint(item, attempt);
    if (m_spool)
        m_spool->Keep(r);
    else
        m_pending << r;
    if (attempt.result == verify::PointVerdict::NotMeasured)
        m_whyNot[item.item] = r.reason;
    else
        m_whyNot.remove(item.item);
    if (m_next) m_next->AttemptFinished(item, attempt);
}

// The display may wait for the operator's answer within this very call, so
// what the run measured so far goes to the database first.
void RunRecorder::Asked(const verify::Question& q) {
    Commit();
    if (m_next) m_next->Asked(q);
}

void RunRecorder::RunFinished(const verify::RunResult& run) {
    Commit();
    if (!m_closeAtEnd && !m_spool) {
        if (m_next) m_next->RunFinished(run);
        return;
    }
    // A plan's record is given its reasons by the store, from the attempts.
    QStringList reasons;
    for (int item : m_plan.items.empty() ? run.notMeasuredItems : std::vector<int>{}) {
        QString what = QStringLiteral("Пункт плана %1: не выполнен").arg(item);
        for (const verify::PlanItem& it : m_plan.items)
            if (it.item == item)
                what = it.channel ? QStringLiteral("%1, канал %2, точка %3 %4: не измерена")
                                        .arg(QString::fromStdString(it.operation))
                                        .arg(it.channel)
                                        .arg(QString::fromStdString(FloatToStr(it.nominal)))
                                        .arg(UnitOf(it.quantity))
                                  : QStringLiteral("%1 %2: не выполнена")
                                        .arg(QString::fromStdString(it.operation),
                                             QString::fromStdString(it.title));
        const QString why = m_whyNot.value(item);
        reasons << what + (why.isEmpty() ? QString() : " (" + why + ")");
    }
    reasons << m_added;
    const QString verdict = QString::fromUtf8(verify::RunVerdictWord(run.verdict));
    if (!m_spool && !m_store.Close(m_id, verdict, reasons)) Lose();
    if (!m_spool) {
        if (m_next) m_next->RunFinished(run);
        return;
    }
    // A record not written is never shown as judged: the run ends "прервано".
    reasons << QStringLiteral("база данных записей недоступна: ") + m_error;
    m_spool->End(kInterrupted, reasons);
    verify::RunResult stopped = run;
    stopped.verdict = verify::RunVerdict::Interrupted;
    if (m_next) m_next->RunFinished(stopped);
}

}  // namespace yukt::records
