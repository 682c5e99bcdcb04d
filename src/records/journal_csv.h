// The journal as a CSV file for a spreadsheet: the filtered records, one row
// each, streamed from the database into a file that is whole or absent.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

#include "records/journal_query.h"

namespace yukt::records {

struct CsvReport {
    qint64 rows = 0;  // 0 with no error: nothing matched and no file was written
    QString error;    // names the file (or the database) and the reason
    bool cancelled = false;  // stopped by `carryOn`: no file was written
};

// Columns as captioned in the file, up to the record's state.
const QStringList& JournalCsvCaptions();
// ";"-separated, UTF-8 with a byte order mark, CR LF line ends.
QString CsvField(QString text);
// `carryOn` is told the rows written so far after each one; false stops,
// and no file is written.
CsvReport WriteJournalCsv(const QSqlDatabase& db, const JournalFilter& filter, const QString& path,
                          const std::function<bool(qint64 rows)>& carryOn = {});

}  // namespace yukt::records
