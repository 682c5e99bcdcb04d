// A RunRecorder on a writer thread of its own, with a connection of its own
// to the database of the store that began the record: the window's run
// hands it the run's calls and never waits for the database, so that "Стоп",
// the safe value and the run's deadlines do not depend on it. Its calls are
// made from one thread (the window's); what it reports back (a stop, the
// end) comes from another.
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

class BackgroundRecorder : public verify::ProgressSink {
  public:
    // Continues the run of record `recordId`, begun by `store`, from the
    // store's last point number; the record is left open at the end (the
    // window closes it). A call the database does not answer within `limit`
    // stops the run and gives the record up.
    BackgroundRecorder(RecordStore& store, qint64 recordId, const verify::Plan& plan,
                       std::chrono::milliseconds limit);
    // Waits for the writes posted; a writer held by a database that never
    // answers is left behind with everything it holds, and calls nothing back.
    ~BackgroundRecorder() override;
    BackgroundRecorder(const BackgroundRecorder&) = delete;
    BackgroundRecorder& operator=(const BackgroundRecorder&) = delete;

    // What stops the run once the database is lost or a call overruns the
    // limit; called from another thread.
    void SetStop(std::function<void()> stop);
    // Called once (from another thread) when the run's end is written,
    // spooled or given up on.
    void SetSettled(std::function<void()> settled);

    void PointStarted(int index, int count, double nominal) override;
    void PointFinished(const verify::PointResult& point) override;
    void AttemptFinished(const verify::PlanItem& item, const verify::Attempt& attempt) override;
    void EventHandled() override;
    void Asked(const verify::Question& q) override;
    void RunFinished(const verify::RunResult& run) override;

    // Waits up to `slice` for what was handed over; true once it is all
    // written or spooled (false also once given up on: see GaveUp).
    bool Settle(std::chrono::milliseconds slice);
    // A call overran the limit: the record's fate is unknown.
    bool GaveUp() const;
    // Once settled: the first storage failure, if any (a database that did
    // not answer in time included), and the spool the record went to.
    QString Error() const;
    const PointSpool* Spool() const;
    // Once settled: the record's last point number as written (or spooled);
    // nothing when the database was given up on.
    std::optional<int> LastPointSeq() const;

    struct Impl;

  private:
    std::shared_ptr<Impl> m;
};

}  // namespace yukt::records
