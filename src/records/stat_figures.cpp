#include "records/stat_figures.h"

#include <QDate>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cmath>

#include "records/record_where.h"
#include "records/sql_analysis.h"

namespace yukt::records {
namespace sql {

const char* const kStatFigures = "@stat-figures";

namespace {

const char* const kKeys = "model, day, workstation, operation, channel_no, channel, nominal, unit";

// The limit at the point: abs+rel adds its part proportional to the reference.
const char* const kLimitAt =
    "(p.limit_value + CASE WHEN p.error_kind = 'abs+rel' THEN COALESCE(p.limit2, 0) *"
    " ABS(p.reference) ELSE 0 END)";

// The measured points of `record` (a row of records: "r" or a trigger's
// "NEW") that the statistics count: the latest attempt at each plan item (a
// point of a single procedure, item 0, counts as it is), with a limit.
QString CountedPoints(const QString& record, const QString& from) {
    return "SELECT " + record + ".model AS model, SUBSTR(" + record +
           ".started_utc, 1, 10) AS day, " + record +
           ".workstation AS workstation,"
           " CASE WHEN COALESCE(p.operation, '') = '' THEN COALESCE(p.procedure_name, '')"
           " ELSE p.operation END AS operation, COALESCE(p.channel_no, 0) AS channel_no,"
           " CASE WHEN COALESCE(p.channel_no, 0) > 0 THEN '' ELSE COALESCE(p.channel, '') END"
           " AS channel, p.nominal AS nominal, COALESCE(p.unit, '') AS unit, p.result AS result,"
           " ABS(p.error) / " +
           kLimitAt + " AS ratio " + from + " AND p.result <> 'not measured' AND " + kLimitAt +
           " > 0 AND (COALESCE(p.item, 0) = 0 OR NOT EXISTS (SELECT 1 FROM points q"
           " WHERE q.record_id = p.record_id AND q.item = p.item AND q.attempt > p.attempt))";
}

// The figures of the counted points, one row per key.
QString Grouped(const QString& points) {
    return QStringLiteral(
               "SELECT %1, COUNT(*), SUM(ratio), MAX(ratio),"
               " SUM(CASE WHEN ratio > 0.8 THEN 1 ELSE 0 END),"
               " SUM(CASE WHEN result = 'fail' THEN 1 ELSE 0 END) FROM (%2) s WHERE 1 = 1"
               " GROUP BY %1")
        .arg(QLatin1String(kKeys), points);
}

const QString kInsert = QStringLiteral(
    "INSERT INTO stat_figures (%1, n, ratio_sum, ratio_max, near_limit, failures) ");

// Where a closed record's figures meet a day's already kept, they add up.
// A sum or largest value of none is NULL, as the points' own would be.
QString Upsert() {
    auto add = [](const char* c) {
        return QStringLiteral(
                   "%1 = CASE WHEN excluded.%1 IS NULL THEN stat_figures.%1 WHEN stat_figures.%1"
                   " IS NULL THEN excluded.%1 ELSE stat_figures.%1 + excluded.%1 END")
            .arg(QLatin1String(c));
    };
    return QStringLiteral(
               " ON CONFLICT (%1) DO UPDATE SET n = stat_figures.n + excluded.n, %2,"
               " ratio_max = CASE WHEN excluded.ratio_max IS NULL THEN stat_figures.ratio_max"
               " WHEN stat_figures.ratio_max IS NULL OR excluded.ratio_max >"
               " stat_figures.ratio_max THEN excluded.ratio_max ELSE stat_figures.ratio_max END,"
               " near_limit = stat_figures.near_limit + excluded.near_limit,"
               " failures = stat_figures.failures + excluded.failures")
        .arg(QLatin1String(kKeys), add("ratio_sum"));
}

QString KeepClosed() {
    return kInsert.arg(QLatin1String(kKeys)) +
           Grouped(CountedPoints("NEW", "FROM points p WHERE p.record_id = NEW.id")) + " ORDER BY " +
           kKeys + Upsert();
}

const char* const kClosing = "OLD.state = 'open' AND NEW.state <> 'open' AND NEW.revision = 0";

}  // namespace

QStringList StatFiguresMigration(Engine engine) {
    // A NULL model or nominal never conflicts, so such a day may have more
    // than one row of a key; every reader adds them up.
    QStringList out = {
        "CREATE TABLE stat_figures (model TEXT, day TEXT NOT NULL, workstation TEXT,"
        " operation TEXT NOT NULL, channel_no INTEGER NOT NULL, channel TEXT NOT NULL,"
        " nominal DOUBLE PRECISION, unit TEXT NOT NULL, n BIGINT NOT NULL,"
        " ratio_sum DOUBLE PRECISION, ratio_max DOUBLE PRECISION, near_limit BIGINT NOT NULL,"
        " failures BIGINT NOT NULL, UNIQUE (" +
            QString::fromLatin1(kKeys) + "))",
        kInsert.arg(QLatin1String(kKeys)) +
            Grouped(CountedPoints("r",
                                  "FROM records r JOIN points p ON p.record_id = r.id"
                                  " WHERE r.revision = 0 AND r.state <> 'open'")),
    };
    if (engine == Engine::Sqlite) {
        out << QStringLiteral("CREATE TRIGGER records_keep_figures AFTER UPDATE OF state ON records"
                              " WHEN %1 BEGIN %2; END")
                   .arg(QLatin1String(kClosing), KeepClosed());
        return out;
    }
    // The workstation's role may not write the figures; the trigger's
    // function writes them with its owner's rights, and only it may.
    out << "CREATE FUNCTION records_keep_figures() RETURNS trigger LANGUAGE plpgsql"
           " SECURITY DEFINER SET search_path FROM CURRENT AS $$ BEGIN " +
               KeepClosed() + "; RETURN NULL; END $$";
    out << QStringLiteral("CREATE TRIGGER records_keep_figures AFTER UPDATE ON records FOR EACH ROW"
                          " WHEN (%1) EXECUTE FUNCTION records_keep_figures()")
               .arg(QLatin1String(kClosing));
    out << "CREATE FUNCTION stat_figures_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
           " IF pg_trigger_depth() < 2 THEN RAISE EXCEPTION"
           " 'итоги статистики ведёт сама база данных (% %)', TG_OP, TG_TABLE_NAME; END IF;"
           " IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END $$";
    out << "CREATE TRIGGER stat_figures_guard BEFORE INSERT OR UPDATE OR DELETE ON stat_figures"
           " FOR EACH ROW EXECUTE FUNCTION stat_figures_refuse()";
    out << "CREATE TRIGGER stat_figures_no_truncate BEFORE TRUNCATE ON stat_figures"
           " FOR EACH STATEMENT EXECUTE FUNCTION records_refuse()";
    return out;
}

int StatFiguresVersion() {
    const QList<QStringList>& migrations = Migrations();
    for (int v = 0; v < migrations.size(); ++v)
        if (migrations[v].contains(QLatin1String(kStatFigures))) return v + 1;
    return 0;
}

}  // namespace sql

namespace {

// A local day's start as a UTC day: itself when it falls on UTC midnight,
// else the next.
QString WholeDayFrom(const QString& utc) {
    if (utc.mid(10) == QLatin1String("T00:00:00.000Z")) return utc.left(10);
    return QDate::fromString(utc.left(10), Qt::ISODate).addDays(1).toString(Qt::ISODate);
}

}  // namespace

QString StatItemsQuery(const StatsFilter& f, QVariantList* binds) {
    // Whole UTC days [dayFrom, dayTo) from the figures; the points of the
    // records in [lo1, hi1) and [lo2, hi2) (a date compares below each of its
    // times, so it stands for its midnight).
    QString dayFrom = "", dayTo = "9999", lo1 = "", hi1 = "", lo2 = "", hi2 = "";
    const QString lo = f.from.isValid() ? UtcBound(f.from) : QString();
    const QString hi = f.to.isValid() ? UtcBound(f.to.addDays(1)) : QString();
    if (!lo.isEmpty()) dayFrom = WholeDayFrom(lo);
    if (!hi.isEmpty()) dayTo = hi.left(10);
    if (!lo.isEmpty() && !hi.isEmpty() && dayFrom >= dayTo) {
        dayFrom = dayTo = "";  // less than a whole day: all from the points
        lo1 = lo, hi1 = hi;
    } else {
        if (!lo.isEmpty()) lo1 = lo, hi1 = dayFrom;
        if (!hi.isEmpty()) lo2 = dayTo, hi2 = hi;
    }
    QString kept =
        "SELECT f.model AS model, f.operation AS operation, f.channel_no AS channel_no,"
        " f.channel AS channel, f.nominal AS nominal, f.unit AS unit, f.n AS n,"
        " f.ratio_sum AS ratio_sum, f.ratio_max AS ratio_max, f.near_limit AS near_limit,"
        " f.failures AS failures FROM stat_figures f WHERE f.day >= ? AND f.day < ?";
    *binds << dayFrom << dayTo;
    RecordWhere keptWhere{QString(), binds};
    keptWhere.Add(!f.model.isEmpty(), " AND f.model = ?", f.model);
    keptWhere.Add(!f.station.isEmpty(), " AND f.workstation = ?", f.station);
    kept += keptWhere.text;
    RecordWhere where = RecordsWhere({}, {}, f.model, binds);
    where.Add(!f.station.isEmpty(), sql::kStatsStation, f.station);
    where.text +=
        " AND ((r.started_utc >= ? AND r.started_utc < ?)"
        " OR (r.started_utc >= ? AND r.started_utc < ?))";
    *binds << lo1 << hi1 << lo2 << hi2;
    const QString edges =
        "SELECT model, operation, channel_no, channel, nominal, unit, 1, ratio, ratio,"
        " CASE WHEN ratio > 0.8 THEN 1 ELSE 0 END, CASE WHEN result = 'fail' THEN 1 ELSE 0 END"
        " FROM (" +
        sql::CountedPoints("r",
                           "FROM records r JOIN points p ON p.record_id = r.id"
                           " WHERE r.state <> 'open'" +
                               where.text) +
        ") e";
    return "SELECT model, operation, channel_no, channel, nominal, unit, SUM(n), SUM(ratio_sum),"
           " MAX(ratio_max), SUM(near_limit), SUM(failures) FROM (" +
           kept + " UNION ALL " + edges +
           ") s GROUP BY model, operation, channel_no, channel, nominal, unit"
           " ORDER BY model, operation, channel_no, channel, nominal";
}

namespace {

struct Figures {
    qint64 n = 0, nearLimit = 0, failures = 0;
    QVariant ratioSum, ratioMax;
};

bool Same(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
    const double x = a.toDouble(), y = b.toDouble();
    return std::abs(x - y) <= 1e-9 * std::max(1.0, std::abs(x));
}

bool Same(const Figures& a, const Figures& b) {
    return a.n == b.n && a.nearLimit == b.nearLimit && a.failures == b.failures &&
           Same(a.ratioSum, b.ratioSum) && Same(a.ratioMax, b.ratioMax);
}

// The key's columns as one text, and its figures, of a row whose first
// eight columns are the key (nominal: a number or NULL).
QString KeyOf(const QSqlQuery& q) {
    QStringList parts;
    for (int c = 0; c < 8; ++c)
        parts << (c == 6 && !q.value(c).isNull() ? QString::number(q.value(c).toDouble(), 'g', 17)
                                                 : q.value(c).toString());
    parts << QString::number(q.value(6).isNull());
    return parts.join(QChar(0x1f));
}

Figures FiguresOf(const QSqlQuery& q) {
    return {q.value(8).toLongLong(), q.value(11).toLongLong(), q.value(12).toLongLong(), q.value(9),
            q.value(10)};
}

bool Run(QSqlQuery& q, const QString& text, const QVariantList& binds, QString* error) {
    q.setForwardOnly(true);
    q.prepare(text);
    for (const QVariant& b : binds) q.addBindValue(b);
    if (q.exec()) return true;
    if (error) *error = q.lastError().text();
    return false;
}

QString Problem(const QString& key) {
    QStringList k = key.split(QChar(0x1f));
    return QStringLiteral(
               "итоги статистики расходятся с точками записей: модель %1, день %2, рабочее место "
               "%3, %4, канал %5, номинал %6")
        .arg(k.value(0), k.value(1), k.value(2), k.value(3),
             k.value(4) != QLatin1String("0") ? k.value(4) : k.value(5), k.value(6));
}

}  // namespace

bool CheckStatFigures(const QSqlDatabase& db, QStringList* problems, QString* error) {
    // Month by month, so that a laboratory's ten years are never held at once.
    QSqlQuery q(db);
    if (!Run(q,
             "SELECT SUBSTR(day, 1, 7) AS m FROM stat_figures UNION SELECT SUBSTR(started_utc, 1, 7)"
             " FROM records WHERE revision = 0 AND state <> 'open' ORDER BY m",
             {}, error))
        return false;
    QStringList months;
    while (q.next()) months << q.value(0).toString();
    for (const QString& month : months) {
        const QString next =
            QDate::fromString(month + "-01", Qt::ISODate).addMonths(1).toString("yyyy-MM");
        QHash<QString, Figures> kept;
        if (!Run(q,
                 QStringLiteral("SELECT %1, SUM(n), SUM(ratio_sum), MAX(ratio_max), SUM(near_limit),"
                                " SUM(failures) FROM stat_figures WHERE day >= ? AND day < ?"
                                " GROUP BY %1")
                     .arg(QLatin1String(sql::kKeys)),
                 {month, next}, error))
            return false;
        while (q.next()) kept.insert(KeyOf(q), FiguresOf(q));
        if (!Run(q,
                 sql::Grouped(sql::CountedPoints(
                     "r",
                     "FROM records r JOIN points p ON p.record_id = r.id WHERE r.revision = 0"
                     " AND r.state <> 'open' AND r.started_utc >= ? AND r.started_utc < ?")),
                 {month, next}, error))
            return false;
        while (q.next()) {
            const QString key = KeyOf(q);
            const auto it = kept.constFind(key);
            if (it == kept.cend() || !Same(*it, FiguresOf(q))) *problems << Problem(key);
            if (it != kept.cend()) kept.remove(key);
        }
        for (auto it = kept.cbegin(); it != kept.cend(); ++it) *problems << Problem(it.key());
        if (q.lastError().isValid()) {
            if (error) *error = q.lastError().text();
            return false;
        }
    }
    return true;
}

}  // namespace yukt::records
