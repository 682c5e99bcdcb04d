#include "records/records_gen.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>
#include <cmath>
#include <random>

#include "records/record.h"
#include "records/record_store.h"
#include "records/sql_text.h"

namespace yukt::records {
namespace {

constexpr int kBatch = 2000;  // records per transaction

struct Point {
    QString operation;
    int channel;
    double nominal;
    bool manual;
};

QList<Point> PlanOf(bool methodology) {
    QList<Point> out;
    if (methodology) {
        out << Point{"5.1", 0, 0, true} << Point{"5.3", 0, 0, true};
        for (int ch = 1; ch <= 4; ++ch)
            for (double n : {4.0, 12.0, 20.0}) out << Point{"5.4", ch, n, false};
    } else {
        for (int ch = 1; ch <= 2; ++ch)
            for (double n : {4.0, 12.0}) out << Point{"ток 748t", ch, n, false};
    }
    return out;
}

QString Utc(const QDateTime& t) { return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")); }

bool Exec(QSqlQuery& q, const QVariantList& values, QString* error) {
    for (int i = 0; i < values.size(); ++i) q.bindValue(i, values[i]);
    if (q.exec()) return true;
    *error = q.lastError().text();
    return false;
}

}  // namespace

QString GeneratedSerial(qint64 module) {
    return QStringLiteral("G-%1").arg(module, 6, 10, QChar('0'));
}

bool GenerateRecords(RecordStore& store, const GenOptions& o, QString* error) {
    QSqlDatabase db = store.Database();
    QSqlQuery ids(db), rows(db), points(db), plan(db), counter(db);
    if (!ids.prepare(sql::kInsertRecordId) || !rows.prepare(sql::InsertRecord()) ||
        !points.prepare(sql::InsertPoint()) || !plan.prepare(sql::InsertPlanItem())) {
        *error = db.lastError().text();
        return false;
    }
    std::mt19937 rng(o.seed);
    std::normal_distribution<double> noise(0, 0.12);
    std::uniform_real_distribution<double> uniform(0, 1);
    const qint64 modules = std::max<qint64>(1, o.records / o.years);
    const QDateTime start(QDate::currentDate().addYears(-o.years), QTime(6, 0), QTimeZone::utc());
    const double daySpan = 365.0 / double(modules);
    const QStringList& columns = sql::RecordColumns();
    const int idColumn = int(columns.indexOf("id"));
    QVariantList base(columns.size() + 3);
    const QMap<QString, QVariant> fixed = {{"revision", 0},
                                           {"pid", 1},
                                           {"state", "closed"},
                                           {"designation", "ЮКТ-7"},
                                           {"manufacture_year", "2020"},
                                           {"modification", "ЮКТ-7745t"},
                                           {"owner", "ООО «Завод»"},
                                           {"type_number", "12345-24"},
                                           {"instrument_name", "Модуль ввода"},
                                           {"kind", 2},
                                           {"methodology", "МП 001-2026"},
                                           {"temperature", 21.5},
                                           {"pressure", 100.2},
                                           {"pressure_unit", "кПа"},
                                           {"humidity", 55.0},
                                           {"organisation", "ООО «Лаборатория»"},
                                           {"sign_cipher", "ЛАБ"},
                                           {"uve_numbers", "3.1.ABC.0001.2020"},
                                           {"program_name", "poverka"},
                                           {"program_version", "1.0"},
                                           {"program_checksum", QString(64, 'a')}};
    for (int c = 0; c < columns.size(); ++c) base[c] = fixed.value(columns[c], QVariant());
    auto at = [&](const char* name) { return int(columns.indexOf(QLatin1String(name))); };
    const int cStation = at("workstation"), cState = at("state"), cStarted = at("started_utc"),
              cFinished = at("finished_utc"), cVerdict = at("verdict"), cValid = at("valid_until"),
              cCert = at("certificate"), cModel = at("model"), cSerial = at("serial"),
              cOperator = at("operator_name"), cMethId = at("methodology_id"),
              cMethRev = at("methodology_revision"), cReasons = at("reasons");

    qint64 id = 0;
    for (qint64 i = 0; i < o.records; ++i) {
        if (i % kBatch == 0 && !db.transaction()) {
            *error = db.lastError().text();
            return false;
        }
        const qint64 cycle = i / modules, m = i % modules;
        const bool methodology = m % 3 != 0;  // two modules in three are 745t
        const QDateTime t = start.addDays(365 * cycle + qint64(m * daySpan))
                                .addSecs(qint64(uniform(rng) * 10 * 3600));
        ++id;
        QVariantList v = base;
        v[idColumn] = id;
        v[cStation] = QStringLiteral("station-%1").arg(m % o.stations + 1, 2, 10, QChar('0'));
        v[cStarted] = Utc(t);
        v[cFinished] = Utc(t.addSecs(1200));
        v[cModel] = methodology ? "745t" : "748t";
        v[cSerial] = GeneratedSerial(m);
        v[cOperator] = QStringLiteral("Поверитель %1").arg((m * 7 + cycle) % 20 + 1);
        if (methodology) {
            v[cMethId] = "МП 745-2025";
            v[cMethRev] = 2;
        }
        // Each module has its own bias and drift per channel, in limits.
        std::mt19937 own(quint32(o.seed * 7919 + m));
        std::normal_distribution<double> biasOf(0, 0.25), driftOf(0.02, 0.03);
        const QList<Point> items = PlanOf(methodology);
        const bool stopped = uniform(rng) < 0.02;
        const int measured = stopped ? int(items.size()) / 2 : int(items.size());
        bool failed = false;
        if (!Exec(ids, {id, Utc(t)}, error)) return false;
        QList<QVariantList> pointRows, planRows;
        double bias[5] = {}, drift[5] = {};
        for (int ch = 1; ch <= 4; ++ch) {
            bias[ch] = biasOf(own);
            drift[ch] = driftOf(own);
        }
        for (int k = 0; k < items.size(); ++k) {
            const Point& p = items[k];
            if (methodology)
                planRows << QVariantList{
                    id,
                    k + 1,
                    p.operation,
                    p.manual ? "Внешний осмотр" : "Погрешность",
                    p.manual ? (p.operation == "5.3" ? "software" : "inspection") : "error",
                    p.channel,
                    p.nominal,
                    p.manual ? "" : "мА"};
            if (k >= measured) continue;
            const double limit = methodology ? 0.05 : 0.1;
            double err = 0;
            QString result = "pass";
            if (!p.manual) {
                const double ratio =
                    bias[p.channel] + drift[p.channel] * double(cycle) + noise(rng);
                err = ratio * limit;
                if (std::abs(err) > limit) {
                    result = "fail";
                    failed = true;
                }
            }
            QVariantList row(sql::PointColumns().size() + 3);
            row[0] = id;
            row[1] = k + 1;
            row[2] = methodology ? "МП 745-2025" : p.operation;
            row[3] = QStringLiteral("канал %1").arg(p.channel);
            row[4] = p.nominal;
            row[5] = p.nominal;
            row[6] = QString::number(p.nominal + err, 'g', 10);
            row[7] = p.nominal + err;
            row[8] = p.manual ? "" : "abs";
            row[9] = err;
            row[10] = p.manual ? 0.0 : limit;
            row[11] = result;
            row[12] = "";
            row[13] = p.manual ? 1 : 0;
            row[14] = Utc(t.addSecs(60 * k));
            row[15] = p.manual ? "" : "мА";
            row[16] = methodology ? p.operation : "";
            row[17] = methodology ? p.channel : 0;
            row[18] = methodology ? k + 1 : 0;
            row[19] = methodology ? 1 : 0;
            row[20] = 0.001;
            row[21] = 0.0;
            row[22] = 4.0;
            row[23] = 20.0;
            row[24] = 4.0;
            row[25] = p.manual && p.operation == "5.1" ? "без замечаний" : "";
            pointRows << row;
        }
        const QString verdict = failed ? kUnsuitable : stopped ? kInterrupted : kSuitable;
        v[cState] = stopped && !failed ? "interrupted" : "closed";
        v[cVerdict] = verdict;
        if (verdict == kSuitable) {
            v[cValid] = t.toLocalTime().date().addMonths(12).addDays(-1).toString(Qt::ISODate);
            v[cCert] = QStringLiteral("С-%1/%2").arg(t.date().year()).arg(id);
        } else if (verdict == kUnsuitable) {
            v[cCert] = QStringLiteral("И-%1/%2").arg(t.date().year()).arg(id);
            v[cReasons] = QStringLiteral("погрешность превышает допуск");
        }
        if (!Exec(rows, v, error)) return false;
        for (const QVariantList& r : planRows) {
            QVariantList full = r;
            full << QVariant() << QVariant() << QVariant();
            if (!Exec(plan, full, error)) return false;
        }
        for (const QVariantList& r : pointRows)
            if (!Exec(points, r, error)) return false;
        if ((i + 1) % kBatch == 0 || i + 1 == o.records) {
            if (!db.commit()) {
                *error = db.lastError().text();
                return false;
            }
            if (o.progress) o.progress(i + 1, o.records);
        }
    }
    // The next record a workstation begins gets the next number.
    if (!counter.prepare(sql::kEnsureCounter)) {
        *error = counter.lastError().text();
        return false;
    }
    if (!Exec(counter, {"record"}, error) || !counter.prepare(sql::kSetChainCounter) ||
        !Exec(counter, {id, "record"}, error))
        return false;
    return true;
}

}  // namespace yukt::records
