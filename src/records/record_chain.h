// The chain that makes the records tamper-evident: every record revision,
// closure, point and plan item carries the SHA-256 of its content and of the
// entry before it, so a changed, removed or reordered entry shows.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>

#include "records/sql_text.h"

namespace yukt::records {

// The "previous hash" of the first entry.
inline const QString kChainStart = QString(64, QLatin1Char('0'));

// The kinds of entry, as hashed.
inline const QString kOpeningEntry = QStringLiteral("opening");  // revision 0 as begun
inline const QString kRevisionEntry = QStringLiteral("revision");
inline const QString kClosureEntry = QStringLiteral("closure");
inline const QString kPointEntry = QStringLiteral("point");
inline const QString kPlanEntry = QStringLiteral("plan");
// A revision carrying the registry's match, hashed with its columns.
inline const QString kRegistryEntry = QStringLiteral("registry");
inline const QString kReferenceEntry = QStringLiteral("reference");  // a register revision
inline const QString kMeansEntry = QStringLiteral("means");  // a reference a record was made with

// The hash of an entry whose `values` follow `columns`. Values are written
// as the database gives them back (numbers in C-locale text, NULL as empty),
// so the same hash comes from the row as bound and as read.
QString ChainHash(const QString& prev, const QString& kind, const QList<sql::Column>& columns,
                  const QVariantList& values);

// The values of `want` out of a row given as `names` and `values`.
QVariantList Pick(const QList<sql::Column>& want, const QStringList& names,
                  const QVariantList& values);

struct ChainReport {
    qint64 entries = 0;
    QStringList problems;  // each names the entry and what is wrong with it
    // Told the positions walked of the chain's length, a window at a time.
    std::function<void(qint64 done, qint64 total)> progress;
};

// Walks the whole chain, a window of entries at a time. False only when the
// database cannot be read (`error`); what is wrong with the chain is in the report.
bool VerifyChain(QSqlDatabase db, ChainReport& report, QString* error);

}  // namespace yukt::records
