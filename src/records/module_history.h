// A module's history: every record of one serial number (the latest revision
// of each), oldest first, and for each item measured in them the error, the
// limit and their ratio, one cell per record, so that a drift towards the
// limit shows along a row.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "records/record.h"

namespace yukt::records {

class RecordStore;

struct HistoryRecord {
    qint64 id = 0;
    int revision = 0;
    QDateTime startedAt;  // UTC
    QString model;
    QString verdict;  // as the journal shows it
    QString methodologyId;
    int methodologyRevision = 0;
    QString methodology;  // the operator's text (records without a methodology file)
    QString certificate;
    QDate validUntil;
    QString operatorName;
    QString workstation;
};

// One measurement or answer of one record.
struct HistoryCell {
    bool present = false;
    double error = 0;
    double limit = 0;  // at the point (abs+rel: with its proportional part); 0: none
    double ratio = 0;  // |error| / limit, when the limit is above 0
    bool hasRatio = false;
    QString result;  // "pass", "fail" or "not measured"
    QString answer;  // manual and software operations: as the protocol says it
};

// An error item (operation, channel, nominal) or a manual or software
// operation, across the records.
struct HistoryRow {
    QString operation;  // the operation's id, or a single procedure's name
    QString kind;       // "error", "inspection", "functional", "software"
    int channelNo = 0;  // 0: the module as a whole, or a channel named by text
    QString channel;    // "Канал 11", "канал 1", "Модуль в целом"
    double nominal = 0;
    QString unit;
    QList<HistoryCell> cells;  // one per record, in the order of the records
    bool IsError() const { return kind == QLatin1String("error"); }
    QString Caption() const;  // "5.4, Канал 11, 12 мА"
};

struct ModuleHistory {
    QString serial;
    QString model;  // as asked; empty: every model with that serial
    QList<HistoryRecord> records;
    QList<HistoryRow> rows;  // error items first, by operation, channel, nominal
};

// Nothing, with `error` set, when the database fails; an unknown serial gives
// a history with no records.
std::optional<ModuleHistory> LoadModuleHistory(RecordStore& store, const QString& serial,
                                               const QString& model, QString* error);

// The history's records and rows from records already read, oldest first.
ModuleHistory HistoryOf(const QList<Record>& records);

// A cell as people read it: "0,06 / 0,05 (1,20)", an answer, "не измерено", "—".
QString HistoryCellText(const HistoryRow& row, const HistoryCell& cell);
// A number of the history to six significant digits, with the decimal comma.
QString HistoryNumber(double v);

// As text for a terminal (tab-separated), JSON and CSV (";", as the journal's).
QString HistoryText(const ModuleHistory& h);
QByteArray HistoryJson(const ModuleHistory& h);
QString HistoryCsv(const ModuleHistory& h);

}  // namespace yukt::records
