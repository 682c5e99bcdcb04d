#include "records/lab_stats.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>
#include <functional>

#include "records/journal_csv.h"
#include "records/record.h"
#include "records/record_where.h"
#include "records/ru_format.h"
#include "records/sql_analysis.h"
#include "records/sql_text.h"
#include "records/stat_figures.h"

namespace yukt::records {
namespace {

// The journal's records of a model and dates, of one station.
QString Where(const StatsFilter& f, QVariantList* binds) {
    RecordWhere where = RecordsWhere(f.from, f.to, f.model, binds);
    where.Add(!f.station.isEmpty(), sql::kStatsStation, f.station);
    return where.text;
}

bool Read(const QSqlDatabase& db, const QString& text, const QVariantList& binds, QString* error,
          const std::function<void(const QSqlQuery&)>& row) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(text);
    for (const QVariant& b : binds) q.addBindValue(b);
    if (!q.exec()) {
        if (error) *error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
        return false;
    }
    while (q.next()) row(q);
    if (q.lastError().isValid()) {
        if (error) *error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
        return false;
    }
    return true;
}

QString LocalMonth(const QString& utcHour) {
    const QDateTime at = QDateTime::fromString(utcHour + ":00:00Z", Qt::ISODate);
    return at.isValid() ? at.toLocalTime().toString(QStringLiteral("yyyy-MM")) : utcHour.left(7);
}

bool KeepsFigures(const QSqlDatabase& db) {
    QSqlQuery q(db);
    return q.exec(sql::kReadVersion) && q.next() &&
           q.value(0).toInt() >= sql::StatFiguresVersion();
}

QString Percent(double share) { return RuNumber(share * 100, 1) + " %"; }

}  // namespace

QString ItemStats::Caption() const {
    QStringList parts{operation};
    parts << (channelNo > 0 ? QStringLiteral("Канал %1").arg(channelNo) : channel);
    parts << RuShort(nominal) + (unit.isEmpty() ? QString() : " " + unit);
    parts.removeAll(QString());
    return parts.join(", ");
}

QStringList LabStats::Models() const {
    QStringList out;
    for (const MonthVerdicts& m : months)
        if (!out.contains(m.model)) out << m.model;
    for (const ItemStats& i : items)
        if (!out.contains(i.model)) out << i.model;
    out.sort();
    return out;
}

std::optional<LabStats> ReadLabStats(const QSqlDatabase& db, const StatsFilter& filter,
                                     QString* error) {
    LabStats s;
    QVariantList binds;
    const QString where = Where(filter, &binds);
    QMap<std::pair<QString, QString>, MonthVerdicts> months;
    if (!Read(db, sql::kStatsVerdicts + where + sql::kStatsVerdictsGroup, binds, error,
              [&](const QSqlQuery& q) {
                  const QString model = q.value(0).toString();
                  const QString month = LocalMonth(q.value(1).toString());
                  MonthVerdicts& m = months[{model, month}];
                  m.model = model;
                  m.month = month;
                  const QString state = q.value(2).toString();
                  const QString verdict =
                      state == QLatin1String("interrupted") ? kInterrupted : q.value(3).toString();
                  const qint64 n = q.value(4).toLongLong();
                  if (verdict == kSuitable)
                      m.suitable += n;
                  else if (verdict == kUnsuitable)
                      m.unsuitable += n;
                  else
                      m.interrupted += n;
              }))
        return std::nullopt;
    s.months = months.values();
    // The figures kept at each closing where the schema has them; an older
    // database opened to read is counted from its points.
    QVariantList itemBinds = binds;
    QString items = sql::kStatsItems + where + sql::kStatsItemsGroup;
    if (KeepsFigures(db)) {
        itemBinds.clear();
        items = StatItemsQuery(filter, &itemBinds);
    }
    if (!Read(db, items, itemBinds, error,
              [&](const QSqlQuery& q) {
                  ItemStats i;
                  i.model = q.value(0).toString();
                  i.operation = q.value(1).toString();
                  i.channelNo = q.value(2).toInt();
                  i.channel = q.value(3).toString();
                  i.nominal = q.value(4).toDouble();
                  i.unit = q.value(5).toString();
                  i.count = q.value(6).toLongLong();
                  if (i.count > 0) {
                      i.meanRatio = q.value(7).toDouble() / i.count;
                      i.shareAbove08 = q.value(9).toDouble() / i.count;
                  }
                  i.maxRatio = q.value(8).toDouble();
                  i.failures = q.value(10).toLongLong();
                  s.items << i;
              }))
        return std::nullopt;
    if (!Read(db, sql::kStatsPeople + where + sql::kStatsPeopleGroup, binds, error,
              [&](const QSqlQuery& q) {
                  s.people << PeopleStats{q.value(0).toString(), q.value(1).toString(),
                                          q.value(2).toString(), q.value(3).toLongLong()};
              }))
        return std::nullopt;
    return s;
}

namespace {

struct Table {
    QString title;
    QStringList captions;
    QList<QStringList> rows;
};

QList<Table> Tables(const LabStats& s) {
    Table verdicts{QStringLiteral("Записи по результатам"),
                   {"Модель", "Месяц", kSuitable, kUnsuitable, kInterrupted, "Всего"},
                   {}};
    for (const MonthVerdicts& m : s.months)
        verdicts.rows << QStringList{m.model,
                                     m.month,
                                     QString::number(m.suitable),
                                     QString::number(m.unsuitable),
                                     QString::number(m.interrupted),
                                     QString::number(m.Total())};
    Table items{QStringLiteral("Погрешность по точкам"),
                {"Модель", "Операция", "Канал", "Номинал", "Измерений", "Среднее |Δ|/предел",
                 "Наибольшее |Δ|/предел", "Доля выше 0,8", "Не годен"},
                {}};
    for (const ItemStats& i : s.items)
        items.rows << QStringList{i.model,
                                  i.operation,
                                  i.channelNo > 0 ? QString::number(i.channelNo) : i.channel,
                                  RuShort(i.nominal) + (i.unit.isEmpty() ? "" : " " + i.unit),
                                  QString::number(i.count),
                                  RuNumber(i.meanRatio, 3),
                                  RuNumber(i.maxRatio, 3),
                                  Percent(i.shareAbove08),
                                  QString::number(i.failures)};
    Table people{QStringLiteral("Поверители и рабочие места"),
                 {"Модель", "Поверитель", "Рабочее место", "Записей"},
                 {}};
    for (const PeopleStats& p : s.people)
        people.rows << QStringList{p.model, p.operatorName, p.station, QString::number(p.records)};
    return {verdicts, items, people};
}

}  // namespace

QString StatsText(const LabStats& s) {
    QStringList lines;
    for (const Table& t : Tables(s)) {
        if (!lines.isEmpty()) lines << QString();
        lines << t.title << t.captions.join('\t');
        for (QStringList row : t.rows) {
            for (QString& cell : row) cell.replace('\t', ' ').replace('\n', ' ');
            lines << row.join('\t');
        }
    }
    return lines.join('\n') + '\n';
}

QString StatsCsv(const LabStats& s) {
    QStringList lines;
    for (const Table& t : Tables(s)) {
        if (!lines.isEmpty()) lines << QString();
        lines << CsvField(t.title);
        QStringList captions;
        for (const QString& c : t.captions) captions << CsvField(c);
        lines << captions.join(';');
        for (const QStringList& row : t.rows) {
            QStringList fields;
            for (const QString& c : row) fields << CsvField(c);
            lines << fields.join(';');
        }
    }
    return lines.join("\r\n") + "\r\n";
}

QByteArray StatsJson(const LabStats& s) {
    QJsonArray months, items, people;
    for (const MonthVerdicts& m : s.months)
        months.append(QJsonObject{{"model", m.model},
                                  {"month", m.month},
                                  {"suitable", m.suitable},
                                  {"unsuitable", m.unsuitable},
                                  {"interrupted", m.interrupted}});
    for (const ItemStats& i : s.items)
        items.append(QJsonObject{{"model", i.model},
                                 {"operation", i.operation},
                                 {"channel_no", i.channelNo},
                                 {"channel", i.channel},
                                 {"nominal", i.nominal},
                                 {"unit", i.unit},
                                 {"count", i.count},
                                 {"mean_ratio", i.meanRatio},
                                 {"max_ratio", i.maxRatio},
                                 {"share_above_0_8", i.shareAbove08},
                                 {"failures", i.failures}});
    for (const PeopleStats& p : s.people)
        people.append(QJsonObject{{"model", p.model},
                                  {"operator", p.operatorName},
                                  {"station", p.station},
                                  {"records", p.records}});
    return QJsonDocument(QJsonObject{{"verdicts", months}, {"items", items}, {"people", people}})
        .toJson(QJsonDocument::Indented);
}

}  // namespace yukt::records
