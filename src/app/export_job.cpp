#include "app/export_job.h"

#include "records/record_feed.h"
#include "records/record_store.h"
#include "records/registry_state.h"

namespace yukt {

using namespace records;

namespace {

// Often enough for a moving bar, seldom enough not to flood the window.
constexpr qint64 kProgressEveryMs = 100;

}  // namespace

TExportJob::TExportJob(ExportRequest request, QObject* parent)
    : QThread(parent), m_request(std::move(request)) {}

TExportJob::~TExportJob() {
    Cancel();
    wait();
}

bool TExportJob::CarryOn(qint64 done) {
    if (m_cancel) return false;
    const qint64 now = m_clock.elapsed();
    if (m_lastToldAt < 0 || now - m_lastToldAt >= kProgressEveryMs) {
        m_lastToldAt = now;
        emit progressed(done, qMax(done, m_total));
    }
    return true;
}

void TExportJob::run() {
    m_clock.start();
    const bool csv = m_request.kind == ExportRequest::Kind::Csv;
    RecordStore store;
    if (!store.Open(m_request.dbUrl)) {
        (csv ? m_outcome.csv.error : m_outcome.fgis.error) = store.LastError();
        return;
    }
    m_total = m_request.ids.isEmpty() ? JournalCount(store.Database(), m_request.filter)
                                      : m_request.ids.size();
    emit progressed(0, m_total);
    const auto carryOn = [this](qint64 done) { return CarryOn(done); };
    if (csv) {
        m_outcome.csv = WriteJournalCsv(store.Database(), m_request.filter, m_request.csvPath, carryOn);
        return;
    }
    FgisExportOptions options = m_request.fgis;
    options.carryOn = carryOn;
    const RecordFeed feed = m_request.ids.isEmpty() ? FeedOfFilter(store, m_request.filter)
                                                    : FeedOfIds(store, m_request.ids);
    m_outcome.fgis = ExportFgis(feed, options, [this](const QString& line) {
        if (m_outcome.leftOutShown.size() < kLeftOutShown) m_outcome.leftOutShown << line;
    });
    // The files are there: each record written is now "exported".
    if (QString error; !RecordExports(store, m_outcome.fgis, &error))
        m_outcome.leftOutShown << error;
}

}  // namespace yukt
