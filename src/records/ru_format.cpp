#include "records/ru_format.h"

#include <QRegularExpression>
#include <cmath>

#include "common/text.h"
#include "records/record.h"
#include "verify/plan.h"

namespace yukt::records {

QString RuNumber(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith('-') && text.count(QRegularExpression("[1-9]")) == 0) text.remove(0, 1);
    return text.replace('.', ',');
}

QString RuShort(double value) { return QString::fromStdString(FloatToStr(value, ',')); }

bool RuToFloat(const QString& text, double& value) {
    const std::string s = text.trimmed().toStdString();
    if (s.find('.') != std::string::npos) return false;
    return StrToFloatStrict(CommaToPoint(s), value);
}

double RuToFloatDef(const QString& text, double fallback) {
    double v = 0;
    return RuToFloat(text, v) ? v : fallback;
}

bool RuToInt(const QString& text, int& value) {
    const QString s = text.trimmed();
    if (s.isEmpty() || s.startsWith(QLatin1Char('$'))) return false;
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    if (ok) value = v;
    return ok;
}

QString RuFixed(double value, int decimals) {
    return QString::fromStdString(FixedStr(value, decimals, ','));
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

int DecimalsOf(double step) {
    constexpr int kMost = 6;
    if (!(step > 0)) return 4;
    for (int d = 0; d < kMost; ++d) {
        const double scaled = step * std::pow(10.0, d);
        if (std::abs(scaled - std::round(scaled)) < 1e-9 * std::max(1.0, scaled)) return d;
    }
    return kMost;
}

namespace {
bool InPercent(const RecordPoint& p) {
    return p.errorKind == QLatin1String("rel") || p.errorKind == QLatin1String("reduced");
}
}  // namespace

PointDecimals DecimalsFor(const RecordPoint& p) {
    if (!(p.resolution > 0)) return {};
    PointDecimals d;
    d.error = DecimalsOf(p.resolution);
    double step = p.resolution;  // of a value, in the quantity's unit
    if (p.errorKind == QLatin1String("reduced"))
        step = p.resolution * std::abs(p.spanHigh - p.spanLow) / 100;
    else if (p.errorKind == QLatin1String("rel"))
        step = p.resolution * std::abs(p.nominal) / 100;
    // The finest decimal place no coarser than that step.
    d.value =
        step > 0 ? qBound(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 6) : d.error;
    return d;
}

QString ErrorUnit(const RecordPoint& p) { return InPercent(p) ? QStringLiteral("%") : p.unit; }

// The judge's own limit, from the tolerance the point stored.
double LimitAt(const RecordPoint& p) {
    verify::Tolerance t;
    t.kind = p.errorKind == QLatin1String("abs+rel")   ? verify::ToleranceKind::AbsRel
             : p.errorKind == QLatin1String("rel")     ? verify::ToleranceKind::Rel
             : p.errorKind == QLatin1String("reduced") ? verify::ToleranceKind::Reduced
                                                       : verify::ToleranceKind::Abs;
    t.a = p.limit;
    t.b = p.limit2;
    t.spanLow = p.spanLow;
    t.spanHigh = p.spanHigh;
    return verify::LimitAt(t, p.reference);
}

QString ErrorKindWords(const RecordPoint& p) {
    const QString unit = p.unit.isEmpty() ? QString() : " " + p.unit;
    if (p.errorKind == QLatin1String("abs")) return QStringLiteral("абсолютная");
    if (p.errorKind == QLatin1String("rel")) return QStringLiteral("относительная");
    if (p.errorKind == QLatin1String("reduced"))
        return p.spanHigh > p.spanLow ? QStringLiteral("приведённая к диапазону %1–%2%3")
                                            .arg(RuShort(p.spanLow), RuShort(p.spanHigh), unit)
                                      : QStringLiteral("приведённая");
    if (p.errorKind == QLatin1String("abs+rel"))
        return QStringLiteral("абсолютная, ±(%1%2 + %3·|x|)")
            .arg(RuShort(p.limit), unit, RuShort(p.limit2));
    return p.errorKind;
}

}  // namespace yukt::records
