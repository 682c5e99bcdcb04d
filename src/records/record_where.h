// The WHERE of a query over the journal's records: the latest revision of
// each, then each condition in use with its bound value. The journal, the
// statistics and the report build their filters with it, so that a day and
// a model select the same records in each.
#pragma once

#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace yukt::records {

struct RecordWhere {
    QString text;
    QVariantList* binds;
    // Appends `fragment` (" AND r.column = ?") and its value when `used`.
    void Add(bool used, const char* fragment, const QVariant& value);
};

// The latest revisions begun between two local days (inclusive; invalid:
// open) of `model` (empty: any), their values appended to `binds`.
RecordWhere RecordsWhere(const QDate& from, const QDate& to, const QString& model,
                         QVariantList* binds);

// The start of a local day as the records store their times (UTC text).
QString UtcBound(const QDate& localDay);

}  // namespace yukt::records
