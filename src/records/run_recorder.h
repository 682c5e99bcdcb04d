// Records an automatic verification run as it goes: the points of each
// event the run handles are committed before it waits for the next, and
// the end of the run closes the record with the run's verdict. Passes
// every call on to the next sink (the display).
// Should the database fail to take a point or the end, the record goes on in
// the local spool, the run is asked to stop and ends "прервано".
#pragma once

#include <QMap>
#include <functional>
#include <memory>

#include "records/point_spool.h"
#include "records/record_store.h"
#include "verify/plan.h"
#include "verify/point_result.h"
#include "verify/point_table.h"

namespace yukt::records {

RecordPoint ToRecordPoint(const verify::PointResult& p, const QString& unit);
QString UnitOf(verify::Quantity q);
// An attempt at a plan item as the record keeps it (manual operations too).
RecordPoint ToRecordPoint(const verify::PlanItem& item, const verify::Attempt& attempt);
// The methodology and plan a record is made by (with its interval).
void FillMethodology(Record& record, const verify::Plan& plan);
// The identification the module gave, kept in the record before it is
// begun: the identification texts (`second`: a composite's second module,
// else empty), the designation and the software identification the
// protocol prints. Every run that makes a record calls it.
void FillIdentification(Record& record, const std::string& first, const std::string& second);

class RunRecorder : public verify::ProgressSink {
  public:
    // `closeAtEnd` false leaves the record open for further runs and points.
    RunRecorder(RecordStore& store, qint64 recordId, const QString& unit,
                verify::ProgressSink* next = nullptr, bool closeAtEnd = true);
    ~RunRecorder() override;
    // What stops the run once the database is lost; called once, from
    // within the run's own call to this sink.
    void SetStop(std::function<void()> stop) { m_stop = std::move(stop); }
    void PointStarted(int index, int count, double nominal) override;
    void PointFinished(const verify::PointResult& point) override;
    void RunFinished(const verify::RunResult& run) override;
    // Attempts are committed when the event that ended them is handled.
    void AttemptFinished(const verify::PlanItem& item, const verify::Attempt& attempt) override;
    void EventHandled() override;
    void Asked(const verify::Question& q) override;
    // The plan, so that the reasons of the verdict name items never attempted.
    void SetPlan(const verify::Plan& plan) { m_plan = plan; }
    // A reason the run learnt after its points (a safe value not confirmed),
    // given before RunFinished: the record is closed with it.
    void AddReason(const QString& reason) { m_added << reason; }
    // The first storage failure, if any.
    const QString& Error() const { return m_error; }
    // Where the record went once the database was lost; null while it holds.
    const PointSpool* Spool() const { return m_spool.get(); }

  private:
    void Lose();
    void Commit();

    RecordStore& m_store;
    qint64 m_id;
    QString m_unit;
    verify::ProgressSink* m_next;
    bool m_closeAtEnd;
    QString m_error;
    verify::Plan m_plan;
    QMap<int, QString> m_whyNot;  // item -> why its latest attempt was not measured
    QList<RecordPoint> m_pending;  // attempts of the event under way
    QStringList m_added;           // AddReason's
    std::unique_ptr<PointSpool> m_spool;
    std::function<void()> m_stop;
};

}  // namespace yukt::records
