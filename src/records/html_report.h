// A static site of the journal for a browser: an index with the counts and
// the recall lists, the journal as tables, one page per module with its
// history chart, the statistics per model. It opens from the file system with
// no server and no network (no script, no external font or style), and
// prints on A4. Written whole into a temporary folder beside the target and
// renamed into place, or not at all.
#pragma once

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <optional>

namespace yukt::records {

class RecordStore;
struct ModuleHistory;
struct LabStats;

// A reference (etalon) whose validity ends soon, for the index's recall list.
struct DueReference {
    QString name;
    QString number;
    QDate validUntil;
};
// The references due within `days` (nothing, with `error` set, when they
// cannot be read). Unset: the laboratory's register in the database, as
// `yukt-records references due` lists it.
using DueReferencesHook = std::function<std::optional<QList<DueReference>>(
    const QSqlDatabase&, int days, QString* error)>;

struct HtmlReportOptions {
    QString dir;
    QDate from, to;      // local dates, inclusive; invalid: open
    bool force = false;  // an existing folder that is not empty is replaced
    // Each record's protocol written into the site and linked from its rows.
    bool protocols = false;
    int dueDays = 30;
    DueReferencesHook dueReferences;
    // Where the methodologies are whose marginal line the module charts
    // draw; empty: the laboratory's folder of methodologies.
    QString methodologyDir;
    // Told the steps done of the total; false stops, and nothing is written.
    std::function<bool(qint64 done, qint64 total)> progress;
};

struct HtmlReportResult {
    QString error;         // empty when written
    bool refused = false;  // the folder exists and is not empty (without force)
    bool cancelled = false;
    qint64 records = 0;
    qint64 modules = 0;
    qint64 pages = 0;
};

// The journal's rows per page of the report.
constexpr int kReportJournalPage = 1000;

HtmlReportResult WriteHtmlReport(RecordStore& store, const HtmlReportOptions& options);

// The module page's chart: |error| / limit against the date, one line per
// error item, the limit at 1 (and `marginal` when above 0). Every point
// carries its values as data-* attributes.
QString HistorySvg(const ModuleHistory& h, double marginal = 0);
// Verdicts per month as stacked bars.
QString VerdictsSvg(const LabStats& s, const QString& model);

}  // namespace yukt::records
