#include "records/ru_format.h"

#include <QRegularExpression>

namespace yukt::records {

QString RuNumber(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith('-') && text.count(QRegularExpression("[1-9]")) == 0) text.remove(0, 1);
    return text.replace('.', ',');
}

QString LocalDateTime(const QDateTime& utc) {
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                         : QString();
}

QString RuDate(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

QString KindText(int kind) {
    return kind == 1 ? QStringLiteral("первичная") : QStringLiteral("периодическая");
}

}  // namespace yukt::records
