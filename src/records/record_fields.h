// The fields of a record a run without the workstation's form cannot ask
// for: owner, type number, manufacture year, modification and name. Given
// to `yukt-verify --db` and `yukt-records complete` as options or in a TOML
// file with the same keys (--record-info FILE):
//   owner = "ООО «Завод»"
//   type-number = "12345-67"
//   manufacture-year = 2021
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "records/record.h"

namespace yukt::records {

struct RecordFields {
    std::optional<QString> owner, typeNumber, manufactureYear, modification, name;
    bool Empty() const {
        return !owner && !typeNumber && !manufactureYear && !modification && !name;
    }
};

// The option names without "--" ("owner", "type-number", "manufacture-year",
// "modification", "name"); the TOML file takes these keys.
const QStringList& RecordFieldKeys();
// Sets the field a key names; false for a key that is none of them.
bool SetRecordField(RecordFields& fields, const QString& key, const QString& value);
// Reads a --record-info file; false with "FILE:LINE: KEY: message" in `error`.
bool ReadRecordFields(const QString& path, RecordFields& fields, QString& error);
// The fields of `over` replace those of `base` where given.
RecordFields Merged(const RecordFields& base, const RecordFields& over);
// Writes the given fields into the record's info; the rest stay.
void ApplyRecordFields(const RecordFields& fields, RecordInfo& info);
// What the registry would refuse in these fields of a record, each naming
// the option that gives it: "--owner (владелец): не заполнено".
QStringList RecordFieldProblems(const Record& record);

}  // namespace yukt::records
