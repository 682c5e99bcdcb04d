#include "records/point_fields.h"

#include <QJsonArray>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>
#include <limits>

#include "common/text.h"

namespace yukt::records {
namespace {

using T = sql::ColumnType;
using P = RecordPoint;

const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");

// Readings are machine text: the C-locale formatter and parser, whatever
// the process locale.
QString ReadingsText(const QList<double>& readings) {
    QStringList out;
    for (double x : readings) out << QString::fromStdString(yukt::FloatToStr(x));
    return out.join(' ');
}
QList<double> ReadingsOf(const QString& text) {
    QList<double> out;
    for (const QString& w : text.split(' ', Qt::SkipEmptyParts)) {
        double x = 0;
        if (yukt::StrToFloatStrict(w.toStdString(), x)) out << x;
    }
    return out;
}

QString TimeText(const QDateTime& t) {
    return t.isValid() ? t.toUTC().toString(kTimeFormat) : QString();
}
QDateTime TimeOf(const QString& text) {
    const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

// Numbers in a spool file as text in C notation, exact to the last bit;
// what is not a number stays null.
QJsonValue Number(double v) {
    return std::isfinite(v) ? QJsonValue(QString::fromStdString(Fmt("%.17g", v))) : QJsonValue();
}
double NumberOf(const QJsonValue& v) {
    double out = std::numeric_limits<double>::quiet_NaN();
    if (v.isString()) StrToFloatStrict(v.toString().toStdString(), out);
    return out;
}

template <class... F>
struct Overload : F... {
    using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

T TypeOf(const PointField& f) {
    return std::visit(
        Overload{[](QString P::*) { return T::Text; }, [](int P::*) { return T::Int; },
                 [](double P::*) { return T::Real; }, [](bool P::*) { return T::Int; },
                 [](QList<double> P::*) { return T::Text; },
                 [](QDateTime P::*) { return T::Text; }},
        f.member);
}

QVariant StoredValue(const PointField& f, const RecordPoint& p) {
    return std::visit(Overload{[&](QString P::*m) { return QVariant(p.*m); },
                               [&](int P::*m) { return QVariant(p.*m); },
                               [&](double P::*m) { return QVariant(p.*m); },
                               [&](bool P::*m) { return QVariant(p.*m ? 1 : 0); },
                               [&](QList<double> P::*m) { return QVariant(ReadingsText(p.*m)); },
                               [&](QDateTime P::*m) { return QVariant(TimeText(p.*m)); }},
                      f.member);
}

void SetStored(const PointField& f, const QVariant& v, RecordPoint& p) {
    std::visit(
        Overload{[&](QString P::*m) { p.*m = v.toString(); }, [&](int P::*m) { p.*m = v.toInt(); },
                 [&](double P::*m) { p.*m = v.toDouble(); },
                 [&](bool P::*m) { p.*m = v.toInt() != 0; },
                 [&](QList<double> P::*m) { p.*m = ReadingsOf(v.toString()); },
                 [&](QDateTime P::*m) { p.*m = TimeOf(v.toString()); }},
        f.member);
}

QJsonValue JsonValue(const PointField& f, const RecordPoint& p) {
    return std::visit(Overload{[&](QString P::*m) { return QJsonValue(p.*m); },
                               [&](int P::*m) { return QJsonValue(p.*m); },
                               [&](double P::*m) { return Number(p.*m); },
                               [&](bool P::*m) { return QJsonValue(p.*m); },
                               [&](QList<double> P::*m) {
                                   QJsonArray a;
                                   for (double x : p.*m) a << Number(x);
                                   return QJsonValue(a);
                               },
                               [&](QDateTime P::*m) { return QJsonValue(TimeText(p.*m)); }},
                      f.member);
}

void SetJson(const PointField& f, const QJsonValue& v, RecordPoint& p) {
    std::visit(
        Overload{[&](QString P::*m) { p.*m = v.toString(); }, [&](int P::*m) { p.*m = v.toInt(); },
                 [&](double P::*m) { p.*m = NumberOf(v); }, [&](bool P::*m) { p.*m = v.toBool(); },
                 [&](QList<double> P::*m) {
                     for (const QJsonValue& x : v.toArray()) (p.*m) << NumberOf(x);
                 },
                 [&](QDateTime P::*m) { p.*m = TimeOf(v.toString()); }},
        f.member);
}

}  // namespace

const QList<PointField>& PointFields() {
    using G = PointField;
    static const QList<PointField> fields = {
        {"seq", "seq", G::Base, &P::seq},
        {"procedure_name", "procedure", G::Base, &P::procedure},
        {"channel", "channel", G::Base, &P::channel},
        {"nominal", "nominal", G::Base, &P::nominal},
        {"reference", "reference", G::Base, &P::reference},
        {"readings", "readings", G::Base, &P::readings},
        {"measured", "measured", G::Base, &P::measured},
        {"error_kind", "error_kind", G::Base, &P::errorKind},
        {"error", "error", G::Base, &P::error},
        {"limit_value", "limit", G::Base, &P::limit},
        {"result", "result", G::Base, &P::result},
        {"reason", "reason", G::Base, &P::reason},
        {"manual", "manual", G::Base, &P::manual},
        {"measured_utc", "measured_utc", G::Base, &P::measuredAt},
        {"unit", "unit", G::Base, &P::unit},
        {"operation", "operation", G::Base, &P::operation},
        {"channel_no", "channel_no", G::Base, &P::channelNo},
        {"item", "item", G::Base, &P::item},
        {"attempt", "attempt", G::Base, &P::attempt},
        {"resolution", "resolution", G::Base, &P::resolution},
        {"limit2", "limit2", G::Base, &P::limit2},
        {"span_low", "span_low", G::Base, &P::spanLow},
        {"span_high", "span_high", G::Base, &P::spanHigh},
        {"ref_ratio", "ref_ratio", G::Base, &P::refRatio},
        {"remark", "remark", G::Base, &P::remark},
        {"ref_error", "ref_error", G::Margin, &P::referenceError},
        {"u", "u", G::Margin, &P::u},
        {"marginal", "marginal", G::Margin, &P::marginal},
        // Whether the margins are there: in the table, a non-null `u`.
        {nullptr, "has_u", G::Spool, &P::hasU},
    };
    return fields;
}

QList<sql::Column> PointFieldColumns(PointField::Group group) {
    QList<sql::Column> out;
    if (group == PointField::Base) out << sql::Column{"record_id", T::Int};
    for (const PointField& f : PointFields())
        if (f.group == group && f.column) out << sql::Column{f.column, TypeOf(f)};
    return out;
}

QVariantList PointFieldValues(PointField::Group group, const RecordPoint& p, qint64 recordId) {
    QVariantList out;
    if (group == PointField::Base) out << recordId;
    for (const PointField& f : PointFields())
        if (f.group == group && f.column) out << StoredValue(f, p);
    return out;
}

void SetPointFields(PointField::Group group, const QSqlQuery& q, RecordPoint& p) {
    // A value by name builds the row's record each time: look the names up once.
    const QSqlRecord row = q.record();
    for (const PointField& f : PointFields())
        if (f.group == group && f.column)
            SetStored(f, q.value(row.indexOf(QLatin1String(f.column))), p);
}

QJsonObject PointJson(const RecordPoint& p) {
    QJsonObject o;
    for (const PointField& f : PointFields()) o.insert(QString::fromLatin1(f.key), JsonValue(f, p));
    return o;
}

RecordPoint PointOfJson(const QJsonObject& o) {
    RecordPoint p;
    for (const PointField& f : PointFields()) SetJson(f, o.value(QString::fromLatin1(f.key)), p);
    return p;
}

}  // namespace yukt::records
