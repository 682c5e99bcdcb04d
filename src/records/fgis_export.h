// The registry import file: one `result` per record, in the element order of
// the registry's module-verifications import format.
#pragma once

#include <QIODevice>
#include <QList>
#include <QStringList>

#include "records/record.h"

namespace yukt::records {

inline const QString kFgisNamespace =
    QStringLiteral("urn://fgis-arshin.gost.ru/module-verifications/import/2020-06-19");

struct FgisExportReport {
    QList<qint64> exported;
    QStringList problems;  // one line per record left out, naming what is missing
};

// The fields the registry requires that the record lacks (empty: exportable).
QStringList MissingForFgis(const Record& record);

// "2026-12-08+03:00": the local date with the local offset of that day.
QString FgisDate(const QDate& localDate);

// Writes every exportable record; the others are named in the report and
// nothing of them is written. With `attachProtocol` each result carries its
// PDF protocol (needs a QGuiApplication).
FgisExportReport WriteFgisXml(const QList<Record>& records, QIODevice* out, bool attachProtocol);

}  // namespace yukt::records
