#include "records/registry_state.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include "records/sql_registry.h"
#include "records/sql_text.h"

namespace yukt::records {
namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");
const QString kExported = QStringLiteral("exported");
const QString kRefused = QStringLiteral("refused");

QString TimeText(const QDateTime& t) { return t.toUTC().toString(kTimeFormat); }
QDateTime TimeOf(const QString& text) {
    const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

bool InsertEvent(QSqlQuery& q, const QVariantList& values, QString* error) {
    for (int i = 0; i < values.size(); ++i) q.bindValue(i, values[i]);
    if (q.exec()) return true;
    *error = QStringLiteral("Не удалось записать событие реестра: ") + q.lastError().text();
    return false;
}

}  // namespace

QString RegistryStateCaption(RegistryState state) {
    switch (state) {
        case RegistryState::NotExported:
            return QStringLiteral("не выгружена");
        case RegistryState::Exported:
            return QStringLiteral("выгружена");
        case RegistryState::InRegistry:
            return QStringLiteral("в реестре");
        case RegistryState::Refused:
            return QStringLiteral("отклонена");
        case RegistryState::NotFound:
            return QStringLiteral("не найдена в реестре");
    }
    return {};
}

QList<RegistryState> RegistryStates() {
    return {RegistryState::NotExported, RegistryState::Exported, RegistryState::NotFound,
            RegistryState::Refused, RegistryState::InRegistry};
}

int RegistryNotFoundDays(RecordStore& store) {
    bool ok = false;
    const int days = store.Setting(kRegistryDaysKey).toInt(&ok);
    return ok && days >= 0 ? days : kRegistryDaysDefault;
}

QString RegistryBaseUrl(RecordStore& store) {
    const QString url = store.Setting(kRegistryUrlKey).trimmed();
    return url.isEmpty() ? kRegistryUrlDefault : url;
}

QDateTime NotFoundBound(const QDate& today, int workingDays) {
    // Step back over the working days; an export on the day reached or before
    // has had them all.
    QDate day = today;
    for (int counted = 0; counted < workingDays; day = day.addDays(-1))
        if (day.dayOfWeek() <= 5) ++counted;
    return QDateTime(day.addDays(1), QTime(0, 0), QTimeZone::systemTimeZone()).toUTC();
}

RegistryStatus RegistryStatusOf(const QString& column, const QDateTime& notFoundBound) {
    RegistryStatus s;
    const QString word = column.section(' ', 0, 0);
    const QString rest = column.section(' ', 1);
    if (word == QLatin1String("unfinished")) {
        s.finished = false;
    } else if (word == QLatin1String("registry")) {
        s.state = RegistryState::InRegistry;
        s.vriId = rest;
    } else if (word == kRefused) {
        s.state = RegistryState::Refused;
        s.at = TimeOf(rest);
    } else if (word == kExported) {
        s.at = TimeOf(rest);
        s.state = s.at < notFoundBound ? RegistryState::NotFound : RegistryState::Exported;
    }
    return s;
}

QString RegistryStatusText(const RegistryStatus& s) {
    if (!s.finished) return {};
    const QString caption = RegistryStateCaption(s.state);
    if (s.state == RegistryState::InRegistry) return caption + ": " + s.vriId;
    if (s.at.isValid()) return caption + " " + s.at.toLocalTime().date().toString("dd.MM.yyyy");
    return caption;
}

QString RegistryStateFilter(RegistryState state, const QDateTime& bound, QVariantList* binds) {
    switch (state) {
        case RegistryState::NotExported:
            return sql::kFilterNotExported;
        case RegistryState::InRegistry:
            return sql::kFilterInRegistry;
        case RegistryState::Refused:
            return sql::kFilterRefused;
        case RegistryState::Exported:
            *binds << kExported + " " + TimeText(bound);
            return sql::kFilterExportedSince;
        case RegistryState::NotFound:
            *binds << kExported + " " + TimeText(bound);
            return sql::kFilterExportedBefore;
    }
    return {};
}

bool RecordExports(RecordStore& store, const FgisExportReport& report, QString* error) {
    if (report.placed.isEmpty()) return true;
    QSqlDatabase db = store.Database();
    const QString at = TimeText(QDateTime::currentDateTimeUtc());
    if (!db.transaction()) {
        *error = QStringLiteral("Не удалось записать выгрузку: ") + db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    q.prepare(sql::kInsertRegistryEvent);
    for (const auto& [id, file] : report.placed)
        if (!InsertEvent(q,
                         {id, kExported, at, file, kFgisSchemaVersion, QString(), QString(),
                          RecordStore::Workstation()},
                         error)) {
            db.rollback();
            return false;
        }
    if (db.commit()) return true;
    *error = QStringLiteral("Не удалось записать выгрузку: ") + db.lastError().text();
    db.rollback();
    return false;
}

bool RecordRefusal(RecordStore& store, qint64 recordId, const QString& reason,
                   const QString& author, QString* error) {
    if (reason.trimmed().isEmpty()) {
        *error = QStringLiteral("Нужна причина отказа");
        return false;
    }
    const std::optional<Record> r = store.Load(recordId);
    if (!r) {
        *error = store.LastError();
        return false;
    }
    if (!r->registry.vriId.isEmpty()) {
        *error =
            QStringLiteral("Запись № %1 уже в реестре (%2)").arg(recordId).arg(r->registry.vriId);
        return false;
    }
    QSqlQuery q(store.Database());
    q.prepare(sql::kInsertRegistryEvent);
    return InsertEvent(q,
                       {recordId, kRefused, TimeText(QDateTime::currentDateTimeUtc()), QString(),
                        QString(), reason.trimmed(), author, RecordStore::Workstation()},
                       error);
}

std::optional<QList<RegistryEvent>> RegistryEventsOf(RecordStore& store, qint64 recordId,
                                                     QString* error) {
    QSqlQuery q(store.Database());
    q.prepare(sql::kRegistryEventsOf);
    q.addBindValue(recordId);
    if (!q.exec()) {
        *error = QStringLiteral("Не удалось прочитать события реестра: ") + q.lastError().text();
        return std::nullopt;
    }
    QList<RegistryEvent> out;
    while (q.next())
        out << RegistryEvent{q.value(0).toString(), TimeOf(q.value(1).toString()),
                             q.value(2).toString(), q.value(3).toString(),
                             q.value(4).toString(), q.value(5).toString()};
    return out;
}

bool ForEachPending(RecordStore& store, int workingDays,
                    const std::function<void(const PendingRecord&)>& each, QString* error) {
    const QDateTime bound = NotFoundBound(QDate::currentDate(), workingDays);
    for (RegistryState state :
         {RegistryState::NotExported, RegistryState::NotFound, RegistryState::Refused}) {
        QVariantList binds;
        const QString text = QString(sql::kPendingSelect) + sql::kJournalLatestOnly +
                             sql::kFilterFinished + RegistryStateFilter(state, bound, &binds) +
                             sql::kPendingOrder;
        QSqlQuery q(store.Database());
        q.setForwardOnly(true);
        q.prepare(text);
        for (const QVariant& b : binds) q.addBindValue(b);
        if (!q.exec()) {
            *error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
            return false;
        }
        while (q.next()) {
            const RegistryStatus status = RegistryStatusOf(q.value(5).toString(), bound);
            each({q.value(0).toLongLong(), state, q.value(1).toString(), q.value(2).toString(),
                  q.value(3).toString(), TimeOf(q.value(4).toString()).toLocalTime().date(),
                  status.at});
        }
    }
    return true;
}

}  // namespace yukt::records
