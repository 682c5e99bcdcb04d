// The registry import file: one `result` per record, in the element order of
// the registry's module-verifications import format. Records are read one at
// a time and streamed out, so an export of any size holds one record in
// memory; it is split into numbered files of a bounded number of records.
#pragma once

#include <QIODevice>
#include <QList>
#include <QStringList>
#include <QXmlStreamWriter>
#include <functional>
#include <optional>

#include "records/record.h"

namespace yukt::records {

// The version of the registry's import format this writer follows, kept here
// alone: a new version of the format is a new writer beside this one. It is
// stored with every export of a record.
inline const QString kFgisSchemaVersion = QStringLiteral("2020-06-19");
inline const QString kFgisNamespace =
    QStringLiteral("urn://fgis-arshin.gost.ru/module-verifications/import/") + kFgisSchemaVersion;

// The verification date the registry holds for a record (`vrfDate`): the
// local day it was finished.
QDate VerificationDay(const Record& record);

// What keeps a record out of the registry file, each naming the element and
// the constraint (empty: exportable).
QStringList MissingForFgis(const Record& record);
// "Запись № 18 (зав. № A-1) не выгружена: …"
QString LeftOutLine(const Record& record, const QStringList& missing);

// "2026-12-08+03:00": the local date with the local offset of that day.
QString FgisDate(const QDate& localDate);

// One `application` document written as records are added.
class FgisDocument {
  public:
    explicit FgisDocument(QIODevice* out);
    // With `attachProtocol` the result carries its PDF protocol (needs a
    // QGuiApplication). The record must have passed MissingForFgis.
    void Add(const Record& record, bool attachProtocol);
    void Finish();
    int Count() const { return m_count; }
    bool Failed() const { return m_xml.hasError(); }

  private:
    QXmlStreamWriter m_xml;
    int m_count = 0;
};

// Told the count of records read so far after each one; false stops the
// export, and nothing is written.
using ExportCarryOn = std::function<bool(qint64 read)>;

struct FgisExportOptions {
    QString path;           // one file: this name; more: "out-001.xml", "out-002.xml", …
    int maxRecords = 1000;  // per file
    bool attachProtocol = false;
    ExportCarryOn carryOn;  // none: the export runs to its end
};

struct FgisExportReport {
    qint64 offered = 0;  // records read
    qint64 exported = 0;
    qint64 leftOut = 0;
    QStringList files;  // written, in order
    // Every record written, with the file that holds it (once the files are there).
    QList<QPair<qint64, QString>> placed;
    QString error;      // a file or database failure: then no file is written
    bool cancelled = false;  // stopped by `carryOn`: no file is written
    // Parts of an earlier export to the same name that this one did not
    // write, removed so that none is taken for current; and those that could
    // not be removed.
    QStringList removed;
    QStringList notRemoved;
};

// The next record to export; nothing at the end, or on a failure with `error`.
using RecordFeed = std::function<std::optional<Record>(QString* error)>;

// Writes every exportable record the feed gives; each record left out is
// told to `leftOut` as it is met. All files appear together or none does; an
// export with no record to write writes no file. Only an export that wrote
// its files removes the earlier parts it did not write.
FgisExportReport ExportFgis(const RecordFeed& next, const FgisExportOptions& options,
                            const std::function<void(const QString&)>& leftOut);

// The name of part `n` (from 1) of a split export.
QString FgisPartPath(const QString& path, int n);
// The parts of a split export to `path` now in its folder (any number of
// them, as FgisPartPath names them), in order.
QStringList FgisPartsPresent(const QString& path);

}  // namespace yukt::records
