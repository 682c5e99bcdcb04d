// Records an automatic verification run as it goes: every finished point is
// committed at once, and the end of the run closes the record with the
// run's verdict. Passes every call on to the next sink (the display).
#pragma once

#include "records/record_store.h"
#include "verify/point_result.h"
#include "verify/point_table.h"

namespace yukt::records {

RecordPoint ToRecordPoint(const verify::PointResult& p, const QString& unit);
QString UnitOf(verify::Quantity q);

class RunRecorder : public verify::ProgressSink {
  public:
    // `closeAtEnd` false leaves the record open for further runs and points.
    RunRecorder(RecordStore& store, qint64 recordId, const QString& unit,
                verify::ProgressSink* next = nullptr, bool closeAtEnd = true);
    void PointStarted(int index, int count, double nominal) override;
    void PointFinished(const verify::PointResult& point) override;
    void RunFinished(const verify::RunResult& run) override;
    // The first storage failure, if any (the run itself goes on).
    const QString& Error() const { return m_error; }

  private:
    RecordStore& m_store;
    qint64 m_id;
    QString m_unit;
    verify::ProgressSink* m_next;
    bool m_closeAtEnd;
    QString m_error;
};

}  // namespace yukt::records
