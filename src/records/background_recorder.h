// A RunRecorder on a thread of its own, with a connection of its own to the
// database of the store that began the record: the window's run hands it
// the run's calls and never waits for the database, so that "Стоп", the
// safe value and the run's deadlines do not depend on it. Its calls are made
// from one thread (the window's); what it reports back (a stop, the end)
// comes from its own thread.
#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "verify/plan.h"
#include "verify/point_result.h"

namespace yukt::records {

class RecordStore;
class PointSpool;

class BackgroundRecorder {
  public:
    // Continues the run of record `recordId`, begun by `store`; the record
    // is left open at the end (the window closes it).
    BackgroundRecorder(RecordStore& store, qint64 recordId, const verify::Plan& plan,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(35000));
    // Waits for the writes posted; one the database never answers is left
    // behind with everything it holds.
    ~BackgroundRecorder();
    BackgroundRecorder(const BackgroundRecorder&) = delete;
    BackgroundRecorder& operator=(const BackgroundRecorder&) = delete;

    // What stops the run once the database is lost or a call overruns the
    // limit; called from another thread.
    void SetStop(std::function<void()> stop);
    void PointFinished(const verify::PointResult& point);
    void AttemptFinished(const verify::PlanItem& item, const verify::Attempt& attempt);
    void EventHandled();
    // The run is over: `done` is called (from another thread) once its
    // points are written, spooled or given up on.
    void RunFinished(const verify::RunResult& run, std::function<void()> done);

    // Once `done` was called: the first storage failure, if any (a database
    // that did not answer in time included), and the spool the record went to.
    QString Error() const;
    const PointSpool* Spool() const;
    // After Settle: the record's last point number as written (or spooled
    // ready to be); nothing when the database was given up on.
    std::optional<int> LastPointSeq() const;
    // A call overran the limit: the record's fate is unknown.
    bool GaveUp() const;
    // Waits until what was handed over is written (or given up on), before
    // the window's own store touches the record again.
    void Settle();

    struct Impl;

  private:
    std::shared_ptr<Impl> m;
};

}  // namespace yukt::records
