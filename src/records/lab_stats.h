// The laboratory's statistics over the journal: records by verdict per model
// and month, how close each error item of a model comes to its limit and how
// often it fails, and who made the records where. Read by grouping in the
// database, so a year of a large laboratory is never held in memory.
#pragma once

#include <QDate>
#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <optional>

namespace yukt::records {

struct StatsFilter {
    QString model;    // empty: every model
    QDate from, to;   // local dates, inclusive
    QString station;  // the workstation's host name
};

struct MonthVerdicts {
    QString model;
    QString month;  // local, "2026-12"
    qint64 suitable = 0, unsuitable = 0, interrupted = 0;
    qint64 Total() const { return suitable + unsuitable + interrupted; }
};

struct ItemStats {
    QString model;
    QString operation;
    int channelNo = 0;
    QString channel;  // a single procedure's channel, when channelNo is 0
    double nominal = 0;
    QString unit;
    qint64 count = 0;
    double meanRatio = 0;  // |error| / limit
    double maxRatio = 0;
    double shareAbove08 = 0;  // of the measurements, 0..1
    qint64 failures = 0;
    QString Caption() const;  // "5.4, Канал 11, 12 мА"
};

struct PeopleStats {
    QString model;
    QString operatorName;
    QString station;
    qint64 records = 0;
};

struct LabStats {
    QList<MonthVerdicts> months;  // by model, then month
    QList<ItemStats> items;       // by model, operation, channel, nominal
    QList<PeopleStats> people;    // by model, most records first
    QStringList Models() const;
};

// The ratio above which a measurement counts as close to its limit.
constexpr double kNearLimit = 0.8;

// Nothing, with `error` set, when the database fails.
std::optional<LabStats> ReadLabStats(const QSqlDatabase& db, const StatsFilter& filter,
                                     QString* error);

QString StatsText(const LabStats& s);
QByteArray StatsJson(const LabStats& s);
QString StatsCsv(const LabStats& s);

}  // namespace yukt::records
