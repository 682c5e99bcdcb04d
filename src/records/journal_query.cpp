#include "records/journal_query.h"

#include <QDateTime>
#include <QSqlError>
#include <QTimeZone>
#include <QVariant>

#include "records/record.h"
#include "records/record_where.h"
#include "records/sql_references.h"
#include "records/sql_registry.h"
#include "records/sql_text.h"

namespace yukt::records {
namespace {

// Appends the fragment of each filter in use and collects its bound value.
QString Where(const JournalFilter& f, QVariantList* binds) {
    RecordWhere records = RecordsWhere(f.from, f.to, f.model, binds);
    QString& where = records.text;
    auto add = [&records](bool used, const char* fragment, const QVariant& value) {
        records.Add(used, fragment, value);
    };
    add(!f.serial.isEmpty(), sql::kFilterSerial, "%" + f.serial + "%");
    add(!f.verdict.isEmpty(), sql::kFilterVerdict, f.verdict);
    add(!f.operatorName.isEmpty(), sql::kFilterOperator, "%" + f.operatorName + "%");
    if (f.registry) where += RegistryStateFilter(*f.registry, f.registryBound, binds);
    add(!f.reference.isEmpty(), sql::kFilterReference, f.reference);
    if (f.dueWithinDays >= 0) {
        const QDate today = QDate::currentDate();  // validity is a local date
        where += sql::kFilterDue;
        *binds << kSuitable << today.toString(Qt::ISODate)
               << today.addDays(f.dueWithinDays).toString(Qt::ISODate);
    }
    return where;
}

// A page is shown by a model that moves back and forth in it, so it must be
// scrollable (a forward-only query shows no rows at all); a whole list is
// only read once from start to end, forward-only, without caching it.
QSqlQuery Run(const QSqlDatabase& db, const QString& text, const QVariantList& binds,
              bool forwardOnly = true) {
    QSqlQuery q(db);
    q.setForwardOnly(forwardOnly);
    q.prepare(text);
    for (const QVariant& b : binds) q.addBindValue(b);
    q.exec();
    return q;
}

}  // namespace

QSqlQuery JournalPage(const QSqlDatabase& db, const JournalFilter& filter, int limit, int offset) {
    QVariantList binds;
    QString text = sql::JournalSelectWithRegistry() + Where(filter, &binds);
    if (limit >= 0) {
        text += sql::kJournalOrderPage;
        binds << limit << offset;
    } else {
        text += sql::kJournalOrderAll;
    }
    return Run(db, text, binds, limit < 0);
}

qint64 JournalCount(const QSqlDatabase& db, const JournalFilter& filter) {
    QVariantList binds;
    QSqlQuery q = Run(db, QString(sql::kJournalCount) + Where(filter, &binds), binds);
    return q.next() ? q.value(0).toLongLong() : 0;
}

qint64 JournalCountUpTo(const QSqlDatabase& db, const JournalFilter& filter, qint64 cap) {
    QVariantList binds;
    const QString text = "SELECT COUNT(*) FROM (SELECT 1 FROM records r WHERE 1 = 1" +
                         Where(filter, &binds) + " LIMIT ?) c";
    binds << cap + 1;
    QSqlQuery q = Run(db, text, binds);
    return q.next() ? q.value(0).toLongLong() : 0;
}

QList<qint64> JournalIds(const QSqlDatabase& db, const JournalFilter& filter) {
    QList<qint64> ids;
    QSqlQuery q = JournalPage(db, filter, -1, 0);
    while (q.next()) ids << q.value(kJId).toLongLong();
    return ids;
}

std::optional<QList<qint64>> JournalIdsAfter(const QSqlDatabase& db, const JournalFilter& filter,
                                             qint64 afterId, int limit, QString* error) {
    QVariantList binds;
    QString text = QString(sql::kJournalSelect) + Where(filter, &binds) + sql::kFilterIdAfter +
                   sql::kJournalOrderById;
    binds << afterId << limit;
    QSqlQuery q = Run(db, text, binds);
    if (!q.isActive()) {
        if (error) *error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
        return std::nullopt;
    }
    QList<qint64> ids;
    while (q.next()) ids << q.value(kJId).toLongLong();
    return ids;
}

QSqlQuery DueModules(const QSqlDatabase& db, int days) {
    JournalFilter filter;
    filter.dueWithinDays = days;
    QVariantList binds;
    const QString text = QString(sql::kDueSelect) + Where(filter, &binds) + sql::kDueOrder;
    return Run(db, text, binds);
}

}  // namespace yukt::records
