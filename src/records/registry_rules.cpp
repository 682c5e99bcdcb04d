#include "records/registry_rules.h"

#include <QHash>
#include <QRegularExpression>

#include "records/lab_references.h"
#include "records/ru_format.h"

namespace yukt::records {
namespace {

constexpr int kReasonsMax = 1024;

// The limits of the registry's import schema for module verifications.
const RegistryRule kRules[] = {
    {RegistryField::TypeNumber, "mitypeNumber", 1, 32, "", ""},
    {RegistryField::Serial, "manufactureNum", 1, 128, "", ""},
    {RegistryField::ManufactureYear, "manufactureYear", 0, 4, "[1-9][0-9]{3}",
     "год из четырёх цифр, например 2024", "xs:gYear"},
    {RegistryField::Modification, "modification", 1, 128, "", ""},
    {RegistryField::SignCipher, "signCipher", 1, 3, "[А-Я]{1,3}",
     "от 1 до 3 заглавных русских букв", "[А-Я]{1,3}"},
    {RegistryField::Owner, "miOwner", 1, 512, "", ""},
    {RegistryField::Reasons, "reasons", 1, kReasonsMax, "", ""},
    {RegistryField::DocTitle, "docTitle", 1, 128, "", ""},
    {RegistryField::Metrologist, "metrologist", 1, 128, "", ""},
    {RegistryField::MeansNumber, "number", 1, 32, "", ""},
    {RegistryField::MisTypeNumber, "typeNum", 1, 32, "", ""},
    {RegistryField::MisSerial, "manufactureNum", 1, 128, "", ""},
    {RegistryField::Temperature, "temperature", 1, 128, "", ""},
    {RegistryField::Pressure, "pressure", 1, 128, "", ""},
    {RegistryField::Humidity, "hymidity", 1, 128, "", ""},
    {RegistryField::StickerNumber, "stickerNum", 0, 11, "[0-9]{11}", "11 цифр"},
};

QString Shown(const QString& value) {
    constexpr int kShownMax = 40;  // a long text is named by its length alone
    return CharCount(value) <= kShownMax ? QStringLiteral(", задано «%1»").arg(value) : QString();
}

}  // namespace

const RegistryRule& RuleOf(RegistryField field) {
    for (const RegistryRule& rule : kRules)
        if (rule.field == field) return rule;
    return kRules[0];  // every field has a row above
}

int CharCount(const QString& text) { return static_cast<int>(text.toUcs4().size()); }

QString RegistryFieldWords(RegistryField field, const QString& value) {
    const RegistryRule& rule = RuleOf(field);
    if (value.trimmed().isEmpty())
        return rule.minLength > 0 ? QStringLiteral("не заполнено") : QString();
    if (*rule.pattern) {
        // Compiled once, before any thread can ask.
        static const QHash<RegistryField, QRegularExpression> compiled = [] {
            QHash<RegistryField, QRegularExpression> out;
            for (const RegistryRule& r : kRules)
                if (*r.pattern)
                    out.insert(r.field, QRegularExpression(QRegularExpression::anchoredPattern(
                                            QString::fromUtf8(r.pattern))));
            return out;
        }();
        const auto it = compiled.find(field);
        if (!it->match(value).hasMatch()) return QString::fromUtf8(rule.patternText) + Shown(value);
        return QString();
    }
    const int length = CharCount(value);
    if (length < rule.minLength || length > rule.maxLength)
        return QStringLiteral("от %1 до %2 символов, задано %3")
            .arg(rule.minLength)
            .arg(rule.maxLength)
            .arg(length);
    return QString();
}

std::optional<RegistryBreach> CheckRegistryField(RegistryField field, const QString& value) {
    QString words = RegistryFieldWords(field, value);
    if (words.isEmpty()) return std::nullopt;
    return RegistryBreach{field, words};
}

QString RegistryFieldProblem(RegistryField field, const QString& value) {
    const std::optional<RegistryBreach> breach = CheckRegistryField(field, value);
    return breach ? breach->Text() : QString();
}

QString RegistryBreach::Text() const {
    QString words = this->words;
    const RegistryRule& rule = RuleOf(field);
    const QString pattern = QString::fromUtf8(rule.patternText);
    if (*rule.schemaType && words.startsWith(pattern))
        words.insert(pattern.size(), " (" + QString::fromUtf8(rule.schemaType) + ")");
    return QString::fromLatin1(rule.element) + ": " + words;
}

QString RegistryReasons(const QStringList& reasons) {
    const QString separator = QStringLiteral("; ");
    const QString all = reasons.join(separator);
    if (CharCount(all) <= kReasonsMax) return all;
    const QString more = separator + QStringLiteral("…");
    QString out;
    for (const QString& reason : reasons) {
        const QString longer = out.isEmpty() ? reason : out + separator + reason;
        if (CharCount(longer + more) > kReasonsMax) break;
        out = longer;
    }
    if (!out.isEmpty()) return out + more;
    // The first reason alone is too long: it is cut at a word.
    QString cut = reasons.value(0).left(kReasonsMax - 2);
    if (cut.contains(' ')) cut = cut.section(' ', 0, -2);
    return cut + QStringLiteral(" …");
}

QString RegistryModification(const Record& r) {
    return r.info.modification.isEmpty() ? r.module.designation : r.info.modification;
}

QString RegistryDocTitle(const Record& r) {
    return r.info.methodology.isEmpty() ? r.methodologyId : r.info.methodology;
}

QString RegistryCondition(const std::optional<double>& v, const QString& unit) {
    return v ? RuNumber(*v, 1) + " " + unit : QString();
}

QStringList RegistryProblems(const Record& r) {
    const RecordInfo& i = r.info;
    const Conditions& c = i.conditions;
    const std::pair<RegistryField, QString> fields[] = {
        {RegistryField::TypeNumber, i.typeNumber},
        {RegistryField::Serial, i.serial},
        {RegistryField::ManufactureYear, i.manufactureYear},
        {RegistryField::Modification, RegistryModification(r)},
        {RegistryField::SignCipher, r.lab.signCipher},
        {RegistryField::Owner, i.owner},
        {RegistryField::DocTitle, RegistryDocTitle(r)},
        {RegistryField::Metrologist, i.operatorName},
        {RegistryField::Temperature, RegistryCondition(c.temperature, "°C")},
        {RegistryField::Pressure, RegistryCondition(c.pressure, c.pressureUnit)},
        {RegistryField::Humidity, RegistryCondition(c.humidity, "%")},
    };
    QStringList problems;
    for (const auto& [field, value] : fields)
        if (const QString p = RegistryFieldProblem(field, value); !p.isEmpty()) problems << p;
    if (r.verdict == kUnsuitable && RegistryReasons(r.reasons).trimmed().isEmpty())
        problems << RegistryFieldProblem(RegistryField::Reasons, QString());
    for (const QString& n : r.lab.uveNumbers + r.lab.mietaNumbers)
        if (const QString p = RegistryFieldProblem(RegistryField::MeansNumber, n); !p.isEmpty())
            problems << QStringLiteral("means/") + p;
    const CalibratorName calibrator = CalibratorOf(r);
    if (!calibrator.typeNumber.isEmpty() || !calibrator.serial.isEmpty()) {
        for (const auto& [field, value] :
             {std::pair{RegistryField::MisTypeNumber, calibrator.typeNumber},
              std::pair{RegistryField::MisSerial, calibrator.serial}})
            if (const QString p = RegistryFieldProblem(field, value); !p.isEmpty())
                problems << QStringLiteral("means/mis/") + p;
    }
    if (r.lab.uveNumbers.isEmpty() && r.lab.mietaNumbers.isEmpty() &&
        calibrator.typeNumber.isEmpty())
        problems << QStringLiteral("means: не указано ни одного средства поверки");
    return problems;
}

}  // namespace yukt::records
