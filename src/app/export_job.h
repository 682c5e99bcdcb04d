#pragma once
// An export of the journal (the registry file or CSV) run on a thread of its
// own, so that the window keeps answering however long it takes. Database
// connections never cross threads: the job opens its own connection to the
// journal's database. It reports only through queued signals, and a cancel
// leaves no file, as any export that does not finish.

#include <QElapsedTimer>
#include <QThread>
#include <atomic>

#include "records/fgis_export.h"
#include "records/journal_csv.h"
#include "records/journal_query.h"

namespace yukt {

struct ExportRequest {
    enum class Kind { Fgis, Csv };
    Kind kind = Kind::Fgis;
    QString dbUrl;  // the journal's database
    records::JournalFilter filter;
    QList<qint64> ids;                 // the chosen records; none: every one the filter matches
    records::FgisExportOptions fgis;   // the registry file
    QString csvPath;
};

struct ExportOutcome {
    records::FgisExportReport fgis;
    records::CsvReport csv;
    QStringList leftOutShown;  // the first records left out, named
    bool Cancelled() const { return fgis.cancelled || csv.cancelled; }
};

class TExportJob : public QThread {
    Q_OBJECT

  public:
    static constexpr int kLeftOutShown = 20;  // the rest are counted, not listed

    explicit TExportJob(ExportRequest request, QObject* parent = nullptr);
    ~TExportJob() override;  // cancels and waits: no thread outlives its job

    // From any thread; the export stops at the next record.
    void Cancel() { m_cancel = true; }
    // Whole once the thread has finished.
    const ExportOutcome& Outcome() const { return m_outcome; }
    ExportRequest::Kind Kind() const { return m_request.kind; }

  signals:
    // Records (or rows) done of `total`; now and then, not for every one.
    void progressed(qint64 done, qint64 total);

  protected:
    void run() override;

  private:
    bool CarryOn(qint64 done);

    const ExportRequest m_request;
    ExportOutcome m_outcome;
    std::atomic<bool> m_cancel{false};
    qint64 m_total = 0;
    QElapsedTimer m_clock;
    qint64 m_lastToldAt = -1;  // ms on m_clock
};

}  // namespace yukt
