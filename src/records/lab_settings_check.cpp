#include "records/lab_settings_check.h"

#include <QUrl>

#include "records/registry_rules.h"
#include "records/registry_state.h"
#include "records/xml_text.h"

namespace yukt::records {
namespace {

const QString kIntervalPrefix = QStringLiteral("interval.");

struct Key {
    const char* key;
    const char* caption;
};
const Key kKeys[] = {
    {"organisation", "Организация"},
    {"sign_cipher", "Шифр клейма"},
    {"calibrator", "Калибратор (идентификация)"},
    {"uve_numbers", "Эталоны (рег. номера)"},
    {"mieta_numbers", "Эталоны-СИ (номера)"},
    {"mis_type", "Калибратор как СИ: номер типа"},
    {"mis_serial", "Калибратор как СИ: зав. номер"},
    {"certificate_scheme", "Номер свидетельства"},
    {"notice_scheme", "Номер извещения"},
    {"registry.url", "Адрес поиска ФГИС «Аршин»"},
    {"registry.not_found_days", "Рабочих дней до «не найдена в реестре»"},
};

bool IsList(const QString& key) { return key == "uve_numbers" || key == "mieta_numbers"; }

QStringList Items(const QString& value) {
    QStringList out;
    for (const QString& item : value.split(';', Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty()) out << item.trimmed();
    return out;
}

// Who reads a problem: the command line names the registry's element, the
// form only its own label.
enum class Reader { Tool, Form };

// A problem of a registry field, told under the setting's caption.
QString Registry(const QString& key, RegistryField field, const QString& value, Reader reader) {
    const std::optional<RegistryBreach> breach = CheckRegistryField(field, value);
    if (!breach) return QString();
    return LabSettingCaption(key) + " — " +
           (reader == Reader::Form ? breach->words : breach->Text());
}

QString Problem(const QString& key, const QString& raw, Reader reader);

QStringList Problems(const LabSettings& s, Reader reader);

}  // namespace

QStringList LabSettingKeys() {
    QStringList keys;
    for (const Key& k : kKeys) keys << QString::fromLatin1(k.key);
    for (const QString& model : LabSettings::Models()) keys << kIntervalPrefix + model;
    return keys;
}

QString LabSettingCaption(const QString& key) {
    for (const Key& k : kKeys)
        if (key == QLatin1String(k.key)) return QString::fromUtf8(k.caption);
    if (key.startsWith(kIntervalPrefix))
        return QStringLiteral("Межповерочный интервал %1").arg(key.mid(kIntervalPrefix.size()));
    return key;
}

QString LabSettingDefault(const QString& key) {
    const LabSettings defaults;
    if (key == "certificate_scheme") return defaults.certificateScheme;
    if (key == "notice_scheme") return defaults.noticeScheme;
    if (key.startsWith(kIntervalPrefix)) return QString::number(LabSettings::kDefaultInterval);
    if (key == kRegistryUrlKey) return kRegistryUrlDefault;
    if (key == kRegistryDaysKey) return QString::number(kRegistryDaysDefault);
    return QString();
}

QString NormalisedLabSetting(const QString& key, const QString& value) {
    return IsList(key) ? Items(value).join(';') : value.trimmed();
}

QString LabSettingProblem(const QString& key, const QString& raw) {
    return Problem(key, raw, Reader::Tool);
}

QString LabSettingFormProblem(const QString& key, const QString& raw) {
    return Problem(key, raw, Reader::Form);
}

QStringList LabSettingsProblems(const LabSettings& s) { return Problems(s, Reader::Tool); }

QStringList LabSettingsFormProblems(const LabSettings& s) { return Problems(s, Reader::Form); }

namespace {

QString Problem(const QString& key, const QString& raw, Reader reader) {
    if (!LabSettingKeys().contains(key)) return QStringLiteral("нет такого параметра: ") + key;
    const QString value = NormalisedLabSetting(key, raw);
    if (reader == Reader::Form) {
        if (const QString c = XmlIllegalCharacter(value); !c.isEmpty())
            return LabSettingCaption(key) + QStringLiteral(" — недопустимый управляющий символ ") +
                   c;
    } else if (const QString p = XmlIllegalProblem(key, value); !p.isEmpty()) {
        return p;
    }
    if (key == "sign_cipher" && !value.isEmpty())
        return Registry(key, RegistryField::SignCipher, value, reader);
    if (key == "mis_type" && !value.isEmpty())
        return Registry(key, RegistryField::MisTypeNumber, value, reader);
    if (key == "mis_serial" && !value.isEmpty())
        return Registry(key, RegistryField::MisSerial, value, reader);
    if (IsList(key))
        for (const QString& item : Items(value))
            if (const QString p = Registry(key, RegistryField::MeansNumber, item, reader);
                !p.isEmpty())
                return p;
    if ((key == "certificate_scheme" || key == "notice_scheme") && !value.contains("{N}"))
        return LabSettingCaption(key) + QStringLiteral(" — нужен {N}, номер за год");
    if (key == kRegistryUrlKey && !value.isEmpty()) {
        const QUrl url(value, QUrl::StrictMode);
        const bool web = url.scheme() == "http" || url.scheme() == "https";
        if (!url.isValid() || !web || url.host().isEmpty())
            return LabSettingCaption(key) + QStringLiteral(" — адрес http:// или https://");
    }
    if (key == kRegistryDaysKey && !value.isEmpty()) {
        bool ok = false;
        const int days = value.toInt(&ok);
        if (!ok || days < 0 || days > 250)
            return LabSettingCaption(key) + QStringLiteral(" — целое число от 0 до 250");
    }
    if (key.startsWith(kIntervalPrefix)) {
        bool ok = false;
        const int months = value.toInt(&ok);
        if (!ok || months < 1 || months > 120)
            return LabSettingCaption(key) + QStringLiteral(" — целое число месяцев от 1 до 120");
    }
    return QString();
}

QStringList Problems(const LabSettings& s, Reader reader) {
    const std::pair<const char*, QString> values[] = {{"sign_cipher", s.signCipher},
                                                      {"uve_numbers", s.uveNumbers.join(';')},
                                                      {"mieta_numbers", s.mietaNumbers.join(';')},
                                                      {"mis_type", s.misTypeNumber},
                                                      {"mis_serial", s.misSerial},
                                                      {"certificate_scheme", s.certificateScheme},
                                                      {"notice_scheme", s.noticeScheme}};
    QStringList problems;
    for (const auto& [key, value] : values)
        if (const QString p = Problem(key, value, reader); !p.isEmpty()) problems << p;
    for (auto it = s.intervalMonths.begin(); it != s.intervalMonths.end(); ++it)
        if (const QString p =
                Problem(kIntervalPrefix + it.key(), QString::number(it.value()), reader);
            !p.isEmpty())
            problems << p;
    return problems;
}

}  // namespace

}  // namespace yukt::records
