#include "records/background_recorder.h"

#include <mutex>

#include "common/text.h"
#include "records/record_store.h"
#include "records/run_recorder.h"
#include "records/writer_thread.h"

namespace yukt::records {

struct BackgroundRecorder::Impl {
    WriterThread writer;
    std::chrono::milliseconds limit{35000};
    qint64 id = 0;
    // Made, used and freed on the writer's thread.
    std::unique_ptr<RecordStore> store;
    std::unique_ptr<RunRecorder> recorder;
    // Guarded by lock.
    mutable std::mutex lock;
    std::function<void()> stop, settled;
    QString error;
    std::optional<int> lastSeq;
    bool ended = false, gaveUp = false;

    void Stop() {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> guard(lock);
            call = stop;
        }
        if (call) call();
    }
    // The end reported once, by the writer or by the watch on it.
    void End() {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (ended) return;
            ended = true;
            call = std::move(settled);
        }
        if (call) call();
    }
};

BackgroundRecorder::BackgroundRecorder(RecordStore& store, qint64 recordId,
                                       const verify::Plan& plan, std::chrono::milliseconds limit)
    : m(std::make_shared<Impl>()) {
    m->limit = limit;
    m->id = recordId;
    Impl* impl = m.get();
    // A call the database does not answer in time stops the run, and the
    // end is told without waiting for it.
    m->writer.SetOverdue(limit, [impl] {
        {
            std::lock_guard<std::mutex> guard(impl->lock);
            impl->gaveUp = true;
            impl->error =
                QStringLiteral(
                    "база данных записей не ответила за %1 с; исход записи № %2 "
                    "неизвестен: проверьте её в журнале")
                    .arg(QString::fromStdString(FloatToStr(impl->limit.count() / 1000.0, ',')))
                    .arg(impl->id);
        }
        impl->Stop();
        impl->End();
    });
    const QString url = store.Url();
    const QString token = store.RunToken(recordId);
    // Points go on from the window's last number, spooled ones too should
    // this connection never reach the database.
    const int lastSeq = store.LastPointSeq(recordId);
    m->writer.Post([impl, url, token, recordId, plan, lastSeq] {
        impl->store = std::make_unique<RecordStore>();
        // The window's store migrated the database and wrote back its spool.
        impl->store->SetQuietOpen(true);
        impl->store->Open(url);
        impl->store->AdoptRun(recordId, token);
        impl->store->SetLastPointSeq(recordId, lastSeq);
        impl->recorder =
            std::make_unique<RunRecorder>(*impl->store, recordId, QString(), nullptr, false);
        impl->recorder->SetPlan(plan);
        impl->recorder->SetStop([impl] { impl->Stop(); });
    });
}

BackgroundRecorder::~BackgroundRecorder() {
    {
        std::lock_guard<std::mutex> guard(m->lock);
        m->stop = nullptr;
        m->settled = nullptr;
    }
    Impl* impl = m.get();
    m->writer.Post([impl] {
        impl->recorder.reset();
        impl->store.reset();
    });
    // The task the writer is held in still uses the state: it lives on
    // until the process ends.
    while (!m->writer.WaitIdle(std::chrono::milliseconds(50)))
        if (m->writer.Stuck()) {
            new std::shared_ptr<Impl>(m);
            return;
        }
}

void BackgroundRecorder::SetStop(std::function<void()> stop) {
    std::lock_guard<std::mutex> guard(m->lock);
    m->stop = std::move(stop);
}

void BackgroundRecorder::SetSettled(std::function<void()> settled) {
    std::lock_guard<std::mutex> guard(m->lock);
    m->settled = std::move(settled);
}

void BackgroundRecorder::PointStarted(int index, int count, double nominal) {
    Impl* impl = m.get();
    m->writer.Post(
        [impl, index, count, nominal] { impl->recorder->PointStarted(index, count, nominal); });
}

void BackgroundRecorder::PointFinished(const verify::PointResult& point) {
    Impl* impl = m.get();
    m->writer.Post([impl, point] { impl->recorder->PointFinished(point); });
}

void BackgroundRecorder::AttemptFinished(const verify::PlanItem& item,
                                         const verify::Attempt& attempt) {
    Impl* impl = m.get();
    m->writer.Post([impl, item, attempt] { impl->recorder->AttemptFinished(item, attempt); });
}

void BackgroundRecorder::EventHandled() {
    Impl* impl = m.get();
    m->writer.Post([impl] { impl->recorder->EventHandled(); });
}

void BackgroundRecorder::Asked(const verify::Question& q) {
    Impl* impl = m.get();
    m->writer.Post([impl, q] { impl->recorder->Asked(q); });
}

void BackgroundRecorder::RunFinished(const verify::RunResult& run) {
    if (GaveUp()) return;
    Impl* impl = m.get();
    m->writer.Post([impl, run] {
        impl->recorder->RunFinished(run);
        {
            std::lock_guard<std::mutex> guard(impl->lock);
            if (impl->error.isEmpty()) impl->error = impl->recorder->Error();
            if (!impl->gaveUp) impl->lastSeq = impl->store->LastPointSeq(impl->id);
        }
        impl->End();
    });
}

bool BackgroundRecorder::Settle(std::chrono::milliseconds slice) {
    return m->writer.WaitIdle(slice) && !GaveUp();
}

bool BackgroundRecorder::GaveUp() const {
    std::lock_guard<std::mutex> guard(m->lock);
    return m->gaveUp;
}

QString BackgroundRecorder::Error() const {
    std::lock_guard<std::mutex> guard(m->lock);
    return m->error;
}

const PointSpool* BackgroundRecorder::Spool() const {
    std::lock_guard<std::mutex> guard(m->lock);
    return m->ended && !m->gaveUp && m->recorder ? m->recorder->Spool() : nullptr;
}

std::optional<int> BackgroundRecorder::LastPointSeq() const {
    std::lock_guard<std::mutex> guard(m->lock);
    return m->ended && !m->gaveUp ? m->lastSeq : std::nullopt;
}

}  // namespace yukt::records
