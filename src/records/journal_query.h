// The journal's filtered, paged view of the records: only the page shown is
// ever read, so the journal opens at once however many records there are.
#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

#include "records/registry_state.h"

namespace yukt::records {

struct JournalFilter {
    QDate from;  // local dates, inclusive
    QDate to;
    QString model;
    QString serial;  // a part of the serial number
    QString verdict;
    QString operatorName;  // a part of the name
    // A recall list: "годен" records whose validity ends within this many
    // days from today, of modules not verified again since (< 0: off).
    int dueWithinDays = -1;
    // Records in one registry state; `registryBound` is the NotFoundBound of
    // the working days a record waits after its export.
    std::optional<RegistryState> registry;
    QDateTime registryBound;
    // Records made with this reference (its number in the register): the
    // list suspect gives.
    QString reference;
};

// The journal page's column of the registry state (sql::kRegistryStateColumn),
// found by this name: RegistryStatusOf() reads it.
inline const QString kJournalRegistryField = QStringLiteral("registry_state");

// The journal's recall filter, and the days it looks ahead.
inline const QString kDueFilterCaption = QStringLiteral("Срок поверки истекает");
constexpr int kDueFilterDays = 30;
// The journal's filter of the records made with one reference.
inline const QString kReferenceFilterCaption = QStringLiteral("Сделано эталоном …");

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
    kJState,
    kJValidUntil,
    kJOwner
};

// A prepared and executed query for one page, scrollable as a view needs it
// (limit < 0: every match, forward-only for reading once).
QSqlQuery JournalPage(const QSqlDatabase& db, const JournalFilter& filter, int limit, int offset);
qint64 JournalCount(const QSqlDatabase& db, const JournalFilter& filter);
// The count of matches up to `cap`, and cap + 1 when there are more: a page
// is shown at once however many a filter matches.
qint64 JournalCountUpTo(const QSqlDatabase& db, const JournalFilter& filter, qint64 cap);
QList<qint64> JournalIds(const QSqlDatabase& db, const JournalFilter& filter);
// Up to `limit` matching record numbers after `afterId`, ascending: an export
// reads the journal a page at a time however many records match. Nothing,
// with `error` set, when the database fails.
std::optional<QList<qint64>> JournalIdsAfter(const QSqlDatabase& db, const JournalFilter& filter,
                                             qint64 afterId, int limit, QString* error);

// The recall list, soonest first.
enum DueColumn { kDId, kDValidUntil, kDModel, kDDesignation, kDSerial, kDOwner, kDCertificate };
QSqlQuery DueModules(const QSqlDatabase& db, int days);

}  // namespace yukt::records
