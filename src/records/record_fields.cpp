#include "records/record_fields.h"

#include <toml++/toml.h>

#include "common/text_file.h"
#include "records/registry_rules.h"
#include "verify/toml_guard.h"

namespace yukt::records {
namespace {

using Field = std::optional<QString> RecordFields::*;

Field FieldOf(const QString& key) {
    if (key == "owner") return &RecordFields::owner;
    if (key == "type-number") return &RecordFields::typeNumber;
    if (key == "manufacture-year") return &RecordFields::manufactureYear;
    if (key == "modification") return &RecordFields::modification;
    if (key == "name") return &RecordFields::name;
    return nullptr;
}

}  // namespace

const QStringList& RecordFieldKeys() {
    static const QStringList keys = {"owner", "type-number", "manufacture-year", "modification",
                                     "name"};
    return keys;
}

bool SetRecordField(RecordFields& fields, const QString& key, const QString& value) {
    const auto field = FieldOf(key);
    if (!field) return false;
    fields.*field = value.trimmed();
    return true;
}

bool ReadRecordFields(const QString& path, RecordFields& fields, QString& error) {
    const std::string file = path.toStdString();
    std::string text;
    FileFailure failure;
    if (!ReadRegularFile(file, text, failure, 64 * 1024)) {
        error = QString::fromStdString(
            failure.missing ? file + ": файл не найден" : failure.MessageFor(file));
        return false;
    }
    auto fail = [&](int line, const std::string& key, const QString& message) {
        error = QString::fromStdString(file + ":" + std::to_string(line) + ": ") +
                (key.empty() ? QString() : QString::fromStdString(key) + ": ") + message;
        return false;
    };
    int line = 0;
    std::string shape;
    if (!verify::TomlShapeAllowed(text, line, shape))
        return fail(line, "", QString::fromStdString(shape));
    try {
        const toml::table root = toml::parse(text, file);
        for (const auto& [k, node] : root) {
            const std::string key(k.str());
            const int at = static_cast<int>(k.source().begin.line);
            if (!FieldOf(QString::fromStdString(key)))
                return fail(at, key,
                            QStringLiteral("неизвестный ключ (допустимы: %1)")
                                .arg(RecordFieldKeys().join(", ")));
            QString value;
            if (const auto s = node.value_exact<std::string>())
                value = QString::fromStdString(*s);
            else if (const auto n = node.value_exact<int64_t>(); n && key == "manufacture-year")
                value = QString::number(*n);
            else
                return fail(at, key, QStringLiteral("ожидается строка"));
            SetRecordField(fields, QString::fromStdString(key), value);
        }
    } catch (const toml::parse_error& e) {
        return fail(static_cast<int>(e.source().begin.line), "",
                    QString::fromStdString(verify::TomlSyntaxMessage(e.description())));
    }
    return true;
}

RecordFields Merged(const RecordFields& base, const RecordFields& over) {
    RecordFields out = base;
    for (const QString& key : RecordFieldKeys()) {
        const auto field = FieldOf(key);
        if (over.*field) out.*field = over.*field;
    }
    return out;
}

void ApplyRecordFields(const RecordFields& f, RecordInfo& info) {
    if (f.owner) info.owner = *f.owner;
    if (f.typeNumber) info.typeNumber = *f.typeNumber;
    if (f.manufactureYear) info.manufactureYear = *f.manufactureYear;
    if (f.modification) info.modification = *f.modification;
    if (f.name) info.instrumentName = *f.name;
}

QStringList RecordFieldProblems(const Record& r) {
    const struct {
        const char* option;
        const char* words;
        RegistryField field;
        QString value;
    } fields[] = {
        {"--owner", "владелец", RegistryField::Owner, r.info.owner},
        {"--type-number", "регистрационный номер типа", RegistryField::TypeNumber,
         r.info.typeNumber},
        {"--manufacture-year", "год выпуска", RegistryField::ManufactureYear,
         r.info.manufactureYear},
        {"--modification", "модификация", RegistryField::Modification, RegistryModification(r)},
        {"--serial", "заводской номер", RegistryField::Serial, r.info.serial},
    };
    QStringList problems;
    for (const auto& f : fields) {
        const QString problem = RegistryFieldProblem(f.field, f.value);
        if (problem.isEmpty()) continue;
        // The registry's element name is left for the file; the reader gets the form's words.
        const QString what = problem.section(": ", 1);
        problems << QStringLiteral("%1 (%2): %3")
                        .arg(QLatin1String(f.option), QString::fromUtf8(f.words), what);
    }
    return problems;
}

}  // namespace yukt::records
