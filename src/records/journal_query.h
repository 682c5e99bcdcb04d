// The journal's filtered, paged view of the records: only the page shown is
// ever read, so the journal opens at once however many records there are.
#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace yukt::records {

struct JournalFilter {
    QDate from;  // local dates, inclusive
    QDate to;
    QString model;
    QString serial;  // a part of the serial number
    QString verdict;
    QString operatorName;  // a part of the name
};

// Columns of the journal query, in order.
enum JournalColumn {
    kJId,
    kJRevision,
    kJStarted,
    kJModel,
    kJDesignation,
    kJSerial,
    kJVerdict,
    kJOperator,
    kJCertificate,
    kJState
};

// A prepared and executed query for one page, scrollable as a view needs it
// (limit < 0: every match, forward-only for reading once).
QSqlQuery JournalPage(const QSqlDatabase& db, const JournalFilter& filter, int limit, int offset);
qint64 JournalCount(const QSqlDatabase& db, const JournalFilter& filter);
QList<qint64> JournalIds(const QSqlDatabase& db, const JournalFilter& filter);

}  // namespace yukt::records
