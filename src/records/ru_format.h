// How records show numbers and times to a reader: decimal comma, local time.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace yukt::records {

QString RuNumber(double value, int decimals = 4);
QString LocalDateTime(const QDateTime& utc);  // "08.12.2026 07:15"
QString RuDate(const QDate& date);            // "08.12.2026"
QString KindText(int kind);                   // "первичная" / "периодическая"

}  // namespace yukt::records
