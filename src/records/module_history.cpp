#include "records/module_history.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cmath>
#include <tuple>

#include "records/journal_csv.h"
#include "records/record_store.h"
#include "records/ru_format.h"
#include "records/sql_analysis.h"
#include "records/sql_text.h"

namespace yukt::records {
namespace {

// Operation ids compare by their numbers: "5.10" comes after "5.9".
bool OperationLess(const QString& a, const QString& b) {
    const QStringList x = a.split('.'), y = b.split('.');
    for (int i = 0; i < std::min(x.size(), y.size()); ++i) {
        bool okX = false, okY = false;
        const int nx = x[i].toInt(&okX), ny = y[i].toInt(&okY);
        if (okX && okY && nx != ny) return nx < ny;
        if (!(okX && okY) && x[i] != y[i]) return x[i] < y[i];
    }
    return x.size() < y.size();
}

QString AnswerOf(const Record& r, const PlanEntry& e, const RecordPoint* p) {
    QString text;
    if (!p)
        text = QStringLiteral("не выполнено");
    else if (p->result == QLatin1String("pass"))
        text = QStringLiteral("соответствует");
    else if (p->result == QLatin1String("fail"))
        text = QStringLiteral("не соответствует");
    else
        text =
            QStringLiteral("не выполнено") + (p->reason.isEmpty() ? QString() : ": " + p->reason);
    if (e.kind == QLatin1String("software"))
        text = (r.softwareFound.isEmpty() ? QStringLiteral("ПО: не получена")
                                          : QStringLiteral("ПО: ") + r.softwareFound) +
               "; " + text;
    // A software check keeps the identification it found as its remark: said once.
    const bool identification = e.kind == QLatin1String("software") && p &&
                                p->remark.trimmed() == r.softwareFound.trimmed();
    if (p && !p->remark.isEmpty() && !identification)
        text += QStringLiteral("; примечание: ") + p->remark;
    return text;
}

HistoryCell CellOf(const RecordPoint& p) {
    HistoryCell c;
    c.present = true;
    c.error = p.error;
    c.limit = LimitAt(p);
    c.result = p.result;
    c.hasRatio = c.limit > 0 && p.result != QLatin1String("not measured");
    if (c.hasRatio) c.ratio = std::abs(p.error) / c.limit;
    return c;
}

// Rows are found by their key across records.
using Key = std::tuple<QString, int, QString, double>;  // operation, channel no, channel, nominal

struct Builder {
    QMap<Key, int> index;
    QList<HistoryRow> rows;
    int records = 0;
    HistoryRow& Row(const Key& key, const QString& kind, const QString& unit) {
        auto it = index.find(key);
        if (it == index.end()) {
            HistoryRow row;
            std::tie(row.operation, row.channelNo, row.channel, row.nominal) = key;
            row.kind = kind;
            row.unit = unit;
            it = index.insert(key, rows.size());
            rows << row;
        }
        HistoryRow& row = rows[*it];
        while (row.cells.size() < records) row.cells << HistoryCell{};
        return row;
    }
};

void AddRecord(Builder& b, int column, const Record& r) {
    if (!r.plan.isEmpty()) {
        QMap<int, const RecordPoint*> latest;
        for (const RecordPoint& p : r.points) {
            if (p.item <= 0) continue;
            const RecordPoint*& current = latest[p.item];
            if (!current || p.attempt >= current->attempt) current = &p;
        }
        for (const PlanEntry& e : r.plan) {
            const RecordPoint* p = latest.value(e.item);
            const bool error = e.kind == QLatin1String("error");
            const Key key{e.operation, e.channelNo,
                          e.channelNo > 0 ? QString() : QStringLiteral("Модуль в целом"),
                          error ? e.nominal : 0.0};
            HistoryCell cell = p ? CellOf(*p) : HistoryCell{};
            if (!error) {
                cell = HistoryCell{};
                cell.present = true;
                cell.result = p ? p->result : QStringLiteral("not measured");
                cell.answer = AnswerOf(r, e, p);
            } else if (!p) {
                cell.present = true;
                cell.result = QStringLiteral("not measured");
            }
            b.Row(key, e.kind, e.unit).cells[column] = cell;
        }
        return;
    }
    // A single procedure's points, as stored; a point measured twice in one
    // record shows its last measurement.
    for (const RecordPoint& p : r.points) {
        const Key key{p.procedure, 0, p.channel, p.nominal};
        b.Row(key, QStringLiteral("error"), p.unit).cells[column] = CellOf(p);
    }
}

}  // namespace

QString HistoryRow::Caption() const {
    QStringList parts{operation};
    parts << (channelNo > 0 ? QStringLiteral("Канал %1").arg(channelNo) : channel);
    if (IsError()) parts << RuShort(nominal) + (unit.isEmpty() ? QString() : " " + unit);
    parts.removeAll(QString());
    return parts.join(", ");
}

ModuleHistory HistoryOf(const QList<Record>& records) {
    ModuleHistory h;
    Builder b;
    for (const Record& r : records) {
        HistoryRecord e;
        e.id = r.id;
        e.revision = r.revision.number;
        e.startedAt = r.startedAt;
        e.model = r.module.model;
        e.verdict = r.state == RecordState::Open ? QStringLiteral("открыта")
                                                 : VerdictForState(r.state, r.verdict);
        e.methodologyId = r.methodologyId;
        e.methodologyRevision = r.methodologyRevision;
        e.methodology = r.info.methodology;
        e.certificate = r.certificateNumber;
        e.validUntil = r.validUntil;
        e.operatorName = r.info.operatorName;
        e.workstation = r.workstation;
        h.records << e;
        if (h.serial.isEmpty()) h.serial = r.info.serial;
        b.records = h.records.size();
        AddRecord(b, h.records.size() - 1, r);
    }
    for (HistoryRow& row : b.rows)
        while (row.cells.size() < h.records.size()) row.cells << HistoryCell{};
    std::stable_sort(b.rows.begin(), b.rows.end(), [](const HistoryRow& x, const HistoryRow& y) {
        if (x.operation != y.operation) return OperationLess(x.operation, y.operation);
        if (x.channelNo != y.channelNo) return x.channelNo < y.channelNo;
        if (x.channel != y.channel) return x.channel < y.channel;
        return x.nominal < y.nominal;
    });
    h.rows = b.rows;
    return h;
}

std::optional<ModuleHistory> LoadModuleHistory(RecordStore& store, const QString& serial,
                                               const QString& model, QString* error) {
    QSqlQuery q(store.Database());
    q.setForwardOnly(true);
    QString text = QString(sql::kHistoryIds) + sql::kJournalLatestOnly;
    if (!model.isEmpty()) text += sql::kHistoryModel;
    text += sql::kHistoryOrder;
    q.prepare(text);
    q.addBindValue(serial);
    if (!model.isEmpty()) q.addBindValue(model);
    if (!q.exec()) {
        if (error) *error = QStringLiteral("Не удалось прочитать журнал: ") + q.lastError().text();
        return std::nullopt;
    }
    QList<qint64> ids;
    while (q.next()) ids << q.value(0).toLongLong();
    QList<Record> records;
    for (qint64 id : ids) {
        std::optional<Record> r = store.Load(id);
        if (!r) {
            if (error) *error = store.LastError();
            return std::nullopt;
        }
        records << *r;
    }
    ModuleHistory h = HistoryOf(records);
    h.serial = serial;
    h.model = model;
    return h;
}

namespace {

QString LocalDate(const QDateTime& utc) { return utc.toLocalTime().date().toString(Qt::ISODate); }

QString MethodologyText(const HistoryRecord& r) {
    if (r.methodologyId.isEmpty()) return r.methodology;
    return QStringLiteral("%1 ред. %2").arg(r.methodologyId).arg(r.methodologyRevision);
}

}  // namespace

// Six significant digits: what a reading shows, without the binary noise
// of a difference (20,06 − 20 = 0,0599999999999987).
QString HistoryNumber(double v) { return RuShort(QString::number(v, 'g', 6).toDouble()); }

QString HistoryCellText(const HistoryRow& row, const HistoryCell& c) {
    if (!c.present) return QStringLiteral("—");
    if (!row.IsError()) return c.answer;
    if (c.result == QLatin1String("not measured")) return QStringLiteral("не измерено");
    QString text = HistoryNumber(c.error) + " / " + HistoryNumber(c.limit);
    if (c.hasRatio) text += " (" + RuNumber(c.ratio, 2) + ")";
    return text;
}

QString HistoryText(const ModuleHistory& h) {
    QStringList lines;
    auto line = [&](const QString& caption, const std::function<QString(const HistoryRecord&)>& f) {
        QStringList cells{caption};
        for (const HistoryRecord& r : h.records) cells << f(r).replace('\t', ' ');
        lines << cells.join('\t');
    };
    line(QStringLiteral("Запись"), [](const HistoryRecord& r) { return QString::number(r.id); });
    line(QStringLiteral("Дата"),
         [](const HistoryRecord& r) { return RuDate(r.startedAt.toLocalTime().date()); });
    line(QStringLiteral("Результат"), [](const HistoryRecord& r) { return r.verdict; });
    line(QStringLiteral("Методика"), MethodologyText);
    line(QStringLiteral("Свидетельство"), [](const HistoryRecord& r) { return r.certificate; });
    for (const HistoryRow& row : h.rows) {
        QStringList cells{row.Caption()};
        for (const HistoryCell& c : row.cells) cells << HistoryCellText(row, c).replace('\t', ' ');
        lines << cells.join('\t');
    }
    return lines.join('\n') + '\n';
}

QByteArray HistoryJson(const ModuleHistory& h) {
    QJsonArray records;
    for (const HistoryRecord& r : h.records)
        records.append(QJsonObject{{"id", r.id},
                                   {"revision", r.revision},
                                   {"date", LocalDate(r.startedAt)},
                                   {"started_utc", r.startedAt.toString(Qt::ISODate)},
                                   {"model", r.model},
                                   {"verdict", r.verdict},
                                   {"methodology_id", r.methodologyId},
                                   {"methodology_revision", r.methodologyRevision},
                                   {"methodology", r.methodology},
                                   {"certificate", r.certificate},
                                   {"valid_until", r.validUntil.toString(Qt::ISODate)}});
    QJsonArray items;
    for (const HistoryRow& row : h.rows) {
        QJsonArray cells;
        for (const HistoryCell& c : row.cells) {
            if (!c.present) {
                cells.append(QJsonValue());
                continue;
            }
            QJsonObject cell{{"result", c.result}};
            if (row.IsError() && c.result != QLatin1String("not measured")) {
                cell["error"] = c.error;
                cell["limit"] = c.limit;
                if (c.hasRatio) cell["ratio"] = c.ratio;
            }
            if (!row.IsError()) cell["answer"] = c.answer;
            cells.append(cell);
        }
        QJsonObject item{{"operation", row.operation},
                         {"kind", row.kind},
                         {"channel_no", row.channelNo},
                         {"channel", row.channel},
                         {"values", cells}};
        if (row.IsError()) {
            item["nominal"] = row.nominal;
            item["unit"] = row.unit;
        }
        items.append(item);
    }
    return QJsonDocument(QJsonObject{{"serial", h.serial},
                                     {"model", h.model},
                                     {"records", records},
                                     {"items", items}})
        .toJson(QJsonDocument::Indented);
}

QString HistoryCsv(const ModuleHistory& h) {
    QStringList lines{
        QStringLiteral("Запись;Дата;Результат;Методика;Свидетельство;Операция;Канал;"
                       "Номинал;Погрешность;Предел;|Погрешность|/предел;Ответ")};
    for (const HistoryRow& row : h.rows) {
        for (int i = 0; i < row.cells.size(); ++i) {
            const HistoryCell& c = row.cells[i];
            if (!c.present) continue;
            const HistoryRecord& r = h.records[i];
            const bool measured = row.IsError() && c.result != QLatin1String("not measured");
            const QStringList cells = {
                QString::number(r.id),
                LocalDate(r.startedAt),
                r.verdict,
                MethodologyText(r),
                r.certificate,
                row.operation,
                row.channelNo > 0 ? QString::number(row.channelNo) : row.channel,
                row.IsError() ? RuShort(row.nominal) : QString(),
                measured ? HistoryNumber(c.error) : QString(),
                measured ? HistoryNumber(c.limit) : QString(),
                c.hasRatio ? HistoryNumber(c.ratio) : QString(),
                row.IsError() ? (measured ? QString() : QStringLiteral("не измерено")) : c.answer};
            QStringList fields;
            for (const QString& f : cells) fields << CsvField(f);
            lines << fields.join(';');
        }
    }
    return lines.join("\r\n") + "\r\n";
}

}  // namespace yukt::records
