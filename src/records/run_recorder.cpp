#include "records/run_recorder.h"

#include "records/db_credentials.h"

namespace yukt::records {

QString UnitOf(verify::Quantity q) {
    using verify::Quantity;
    switch (q) {
        case Quantity::Current:
        case Quantity::GeneratorCurrent:
            return QStringLiteral("мА");
        case Quantity::Frequency:
        case Quantity::Translator:
            return QStringLiteral("Гц");
        case Quantity::Period:
            return QStringLiteral("мкс");
        case Quantity::Interval:
            return QStringLiteral("с");
        case Quantity::Count:
            return QStringLiteral("имп.");
        case Quantity::Divider:
            return QString();
    }
    return {};
}

RecordPoint ToRecordPoint(const verify::PointResult& p, const QString& unit) {
    RecordPoint r;
    r.procedure = QString::fromStdString(p.procedure);
    r.channel = QString::fromStdString(p.channel);
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

RunRecorder::RunRecorder(RecordStore& store, qint64 recordId, const QString& unit,
                         verify::ProgressSink* next, bool closeAtEnd)
    : m_store(store), m_id(recordId), m_unit(unit), m_next(next), m_closeAtEnd(closeAtEnd) {}

RunRecorder::~RunRecorder() = default;

// From here on nothing goes to the database, so that the points reach it in
// their order once it is back.
void RunRecorder::Lose() {
    if (m_error.isEmpty())
        m_error = HidePassword(m_store.LastError(), m_store.Database().password());
    m_spool = std::make_unique<PointSpool>(
        m_store, m_id, QStringLiteral("база данных записей недоступна: ") + m_error);
    if (m_stop) m_stop();
}

void RunRecorder::PointStarted(int index, int count, double nominal) {
    if (m_next) m_next->PointStarted(index, count, nominal);
}

void RunRecorder::PointFinished(const verify::PointResult& point) {
    RecordPoint r = ToRecordPoint(point, m_unit);
    if (!m_spool && !m_store.AddPoint(m_id, r)) Lose();
    if (m_spool) m_spool->Keep(r);
    if (m_next) m_next->PointFinished(point);
}

void RunRecorder::RunFinished(const verify::RunResult& run) {
    if (!m_closeAtEnd && !m_spool) {
        if (m_next) m_next->RunFinished(run);
        return;
    }
    QStringList reasons;
    for (const verify::PointResult& p : run.results)
        if (p.result == verify::PointVerdict::NotMeasured && !p.reason.empty())
            reasons << QStringLiteral("Точка %1 не измерена: %2")
                           .arg(p.index)
                           .arg(QString::fromStdString(p.reason));
    const QString verdict = QString::fromUtf8(verify::RunVerdictWord(run.verdict));
    // A failed point decides the reasons of "не годен"; the store names those.
    if (run.verdict == verify::RunVerdict::Unfit) reasons.clear();
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
