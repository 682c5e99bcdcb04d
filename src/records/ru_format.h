// How records show numbers and times to a reader: decimal comma, local time,
// a point's values to the resolution of its tolerance.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace yukt::records {

struct RecordPoint;

// The one home of numbers as the operator reads and types them: decimal
// comma whatever the process locale; machine texts keep the point
// (common/text.h).
QString RuNumber(double value, int decimals = 4);  // fixed decimals, never "-0,00"
QString RuShort(double value);                // shortest form: 0,2 / 4 / 0,0015
// A number typed with a decimal comma (blanks around it allowed); a point,
// an empty text or anything else that is not a number gives false.
bool RuToFloat(const QString& text, double& value);
double RuToFloatDef(const QString& text, double fallback);  // `fallback` when not a number
// A whole decimal number (optional sign), blanks around it allowed.
bool RuToInt(const QString& text, int& value);
// Fixed notation as the verification pages show values: exactly `decimals`
// decimals of at most 15 significant digits, rounded half away from zero.
QString RuFixed(double value, int decimals);
QString LocalDateTime(const QDateTime& utc);  // "08.12.2026 07:15"
QString RuDate(const QDate& date);            // "08.12.2026"
QString KindText(int kind);                   // "первичная" / "периодическая"

// Decimals that show `step` whole: 0.01 -> 2, 0.005 -> 3, 1 -> 0 (at most 6).
int DecimalsOf(double step);

// The decimals of a point's error and limit (the tolerance's resolution) and
// of its values (the step that resolution means in the quantity's unit). A
// point recorded without a resolution keeps four, as it always had.
struct PointDecimals {
    int error = 4;
    int value = 4;
};
PointDecimals DecimalsFor(const RecordPoint& point);

QString ErrorUnit(const RecordPoint& point);  // the quantity's unit, or "%"
// The permitted error at the point: the limit, plus its part proportional to
// |x| for abs+rel.
double LimitAt(const RecordPoint& point);
// The error kind in words: "приведённая к диапазону 4–20 мА", "относительная".
QString ErrorKindWords(const RecordPoint& point);

}  // namespace yukt::records
