#include "records/record_where.h"

#include <QDateTime>
#include <QTimeZone>

#include "records/sql_text.h"

namespace yukt::records {

void RecordWhere::Add(bool used, const char* fragment, const QVariant& value) {
    if (!used) return;
    text += QString::fromUtf8(fragment);
    *binds << value;
}

RecordWhere RecordsWhere(const QDate& from, const QDate& to, const QString& model,
                         QVariantList* binds) {
    RecordWhere w{QString::fromUtf8(sql::kJournalLatestOnly), binds};
    w.Add(from.isValid(), sql::kFilterFrom, UtcBound(from));
    w.Add(to.isValid(), sql::kFilterTo, UtcBound(to.addDays(1)));
    w.Add(!model.isEmpty(), sql::kFilterModel, model);
    return w;
}

QString UtcBound(const QDate& localDay) {
    return QDateTime(localDay, QTime(0, 0), QTimeZone::systemTimeZone())
        .toUTC()
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

}  // namespace yukt::records
