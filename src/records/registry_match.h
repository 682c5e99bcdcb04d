// Matching the registry's answer to the records: an item belongs to a record
// of the same type number, serial and verification date made by the same
// laboratory (the mark cipher in the registry's document number, else the
// organisation). A match becomes a revision of the record; an item that
// matches none, or several, is listed and never guessed.
#pragma once

#include <QString>
#include <QStringList>

#include "records/record_store.h"
#include "records/registry_answer.h"

namespace yukt::records {

struct RegistryImportReport {
    int items = 0;
    int matched = 0;  // stored now
    int known = 0;    // stored by an earlier import
    QStringList matchedLines;
    QStringList unmatched;  // no record, or another laboratory's
    QStringList ambiguous;  // several records, or a record matched to another item
    QString error;          // the database failed: what was stored before stays
};

// The mark cipher in a registry document number ("С-ВЯ/08-12-2026/1234" → "ВЯ"),
// empty when the number has none.
QString CipherOfDocnum(const QString& docnum);

// Matches every item of `answer` and stores the new matches; `source` names
// the answer in the lines, `author` is written with each revision. False when
// the database failed (report.error).
bool ImportRegistryAnswer(RecordStore& store, const RegistryAnswer& answer, const QString& source,
                          const QString& author, RegistryImportReport& report);

}  // namespace yukt::records
