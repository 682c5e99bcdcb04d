// What the registry's import format allows in each field, in one place: the
// export checks every record with these rules before it counts, the dialogs
// and `yukt-records settings` check a field as it is typed.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "records/record.h"

namespace yukt::records {

enum class RegistryField {
    TypeNumber,       // mitypeNumber
    Serial,           // manufactureNum
    ManufactureYear,  // manufactureYear, an xs:gYear
    Modification,
    SignCipher,
    Owner,  // miOwner
    Reasons,
    DocTitle,
    Metrologist,
    MeansNumber,  // a number of a means group (uve, mieta)
    MisTypeNumber,
    MisSerial,
    Temperature,
    Pressure,
    Humidity,  // "hymidity", as the format spells it
    StickerNumber,
};

struct RegistryRule {
    RegistryField field;
    const char* element;  // the registry's own name
    int minLength;        // characters; 0: may be left out
    int maxLength;
    const char* pattern;  // of the whole value; empty: any text
    const char* patternText;  // the pattern in words
    const char* schemaType = "";  // the format's own type or pattern, for a maintainer
};

const RegistryRule& RuleOf(RegistryField field);

// A value that breaks its field's rule: the field, and the constraint in an
// operator's words (as RegistryFieldWords). A form names the field by its
// own label; the command line and the export by Text().
struct RegistryBreach {
    RegistryField field;
    QString words;
    // The element and the constraint, with the format's own type:
    // "signCipher: от 1 до 3 заглавных русских букв ([А-Я]{1,3}), задано «abc»".
    QString Text() const;
};
// Nothing when `value` satisfies the field's rule (an empty value of a field
// that may be left out does).
std::optional<RegistryBreach> CheckRegistryField(RegistryField field, const QString& value);

// Empty when `value` satisfies the field's rule, else the element and the
// constraint it breaks: "signCipher: от 1 до 3 заглавных русских букв
// ([А-Я]{1,3}), задано «abc»". An empty value of a field that may be left
// out passes.
QString RegistryFieldProblem(RegistryField field, const QString& value);
// The same in an operator's words, for the form that names the field: no
// element, no schema type ("год из четырёх цифр, например 2024, задано
// «2024 г.»"); empty when the value passes.
QString RegistryFieldWords(RegistryField field, const QString& value);

// Characters as the registry counts them (code points, not UTF-16 units).
int CharCount(const QString& text);

// The reasons of a "не годен" record as the registry takes them: whole
// failed points joined by "; ", shortened with "…" to the field's limit.
QString RegistryReasons(const QStringList& reasons);

// The texts a record puts in the registry file, as written.
QString RegistryModification(const Record& record);
QString RegistryDocTitle(const Record& record);
QString RegistryCondition(const std::optional<double>& value, const QString& unit);

// Every breach of the registry's rules in a record, each naming the element.
QStringList RegistryProblems(const Record& record);

}  // namespace yukt::records
