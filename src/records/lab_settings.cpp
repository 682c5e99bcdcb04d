#include "records/lab_settings.h"

#include "records/machine_number.h"
#include "records/record_store.h"

namespace yukt::records {
namespace {

const QString kListSeparator = QStringLiteral(";");

QStringList SplitList(const QString& text) {
    QStringList out;
    for (const QString& item : text.split(kListSeparator, Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty()) out << item.trimmed();
    return out;
}

QString NumberText(const std::optional<double>& v) { return v ? MachineNumber(*v) : QString(); }

}  // namespace

const QStringList& LabSettings::Models() {
    static const QStringList models = {"745t", "748x", "748t", "735t", "735x", "787x"};
    return models;
}

std::optional<LabSettings> LabSettings::Load(RecordStore& store) {
    const std::optional<QHash<QString, QString>> all = store.Settings();
    if (!all) return std::nullopt;
    auto setting = [&all](const char* key, const QString& fallback = {}) {
        return all->value(QString::fromLatin1(key), fallback);
    };
    LabSettings s;
    s.organisation = setting("organisation");
    s.signCipher = setting("sign_cipher");
    s.calibrator = setting("calibrator");
    s.uveNumbers = SplitList(setting("uve_numbers"));
    s.mietaNumbers = SplitList(setting("mieta_numbers"));
    s.misTypeNumber = setting("mis_type");
    s.misSerial = setting("mis_serial");
    s.certificateScheme = setting("certificate_scheme", s.certificateScheme);
    s.noticeScheme = setting("notice_scheme", s.noticeScheme);
    for (const QString& model : Models()) {
        const int months = all->value("interval." + model).toInt();
        if (months > 0) s.intervalMonths[model] = months;
    }
    return s;
}

QStringList MissingLabSettings(const LabSettings& s) {
    QStringList missing;
    if (s.organisation.trimmed().isEmpty()) missing << QStringLiteral("Организация");
    if (s.signCipher.trimmed().isEmpty()) missing << QStringLiteral("Шифр клейма");
    // The registry takes the means as etalons, etalon instruments or the
    // calibrator as a measuring instrument; one of them is enough.
    const bool mis = !s.misTypeNumber.trimmed().isEmpty() && !s.misSerial.trimmed().isEmpty();
    if (s.uveNumbers.isEmpty() && s.mietaNumbers.isEmpty() && !mis)
        missing << QStringLiteral("Средства поверки (эталоны или калибратор как СИ)");
    return missing;
}

bool LabSettings::Save(RecordStore& store) const {
    bool ok =
        store.SetSetting("organisation", organisation) &&
        store.SetSetting("sign_cipher", signCipher) && store.SetSetting("calibrator", calibrator) &&
        store.SetSetting("uve_numbers", uveNumbers.join(kListSeparator)) &&
        store.SetSetting("mieta_numbers", mietaNumbers.join(kListSeparator)) &&
        store.SetSetting("mis_type", misTypeNumber) && store.SetSetting("mis_serial", misSerial) &&
        store.SetSetting("certificate_scheme", certificateScheme) &&
        store.SetSetting("notice_scheme", noticeScheme);
    for (auto it = intervalMonths.begin(); ok && it != intervalMonths.end(); ++it)
        ok = store.SetSetting("interval." + it.key(), QString::number(it.value()));
    return ok;
}

LabSnapshot LabSettings::Snapshot() const {
    return {organisation, signCipher,    calibrator, uveNumbers,
            mietaNumbers, misTypeNumber, misSerial};
}

int LabSettings::IntervalFor(const QString& model) const {
    return intervalMonths.value(model, kDefaultInterval);
}

QString FormatCertificate(const QString& scheme, int year, qint64 number) {
    QString out = scheme;
    out.replace("{Y}", QString::number(year));
    out.replace("{N}", QString::number(number));
    return out;
}

RecordInfo LoadLastInfo(RecordStore& store) {
    RecordInfo i;
    i.instrumentName = store.Setting("last.instrument_name");
    i.manufactureYear = store.Setting("last.manufacture_year");
    i.modification = store.Setting("last.modification");
    i.owner = store.Setting("last.owner");
    i.typeNumber = store.Setting("last.type_number");
    i.kind =
        store.Setting("last.kind") == "1" ? VerificationKind::Primary : VerificationKind::Periodic;
    i.methodology = store.Setting("last.methodology");
    i.operatorName = store.Setting("last.operator");
    i.conditions.temperature = MachineNumberOf(store.Setting("last.temperature"));
    i.conditions.pressure = MachineNumberOf(store.Setting("last.pressure"));
    i.conditions.pressureUnit = store.Setting("last.pressure_unit", i.conditions.pressureUnit);
    i.conditions.humidity = MachineNumberOf(store.Setting("last.humidity"));
    return i;  // the serial number is never offered again: it names one module
}

bool SaveLastInfo(RecordStore& store, const RecordInfo& i) {
    return store.SetSetting("last.instrument_name", i.instrumentName) &&
           store.SetSetting("last.manufacture_year", i.manufactureYear) &&
           store.SetSetting("last.modification", i.modification) &&
           store.SetSetting("last.owner", i.owner) &&
           store.SetSetting("last.type_number", i.typeNumber) &&
           store.SetSetting("last.kind", QString::number(static_cast<int>(i.kind))) &&
           store.SetSetting("last.methodology", i.methodology) &&
           store.SetSetting("last.operator", i.operatorName) &&
           store.SetSetting("last.temperature", NumberText(i.conditions.temperature)) &&
           store.SetSetting("last.pressure", NumberText(i.conditions.pressure)) &&
           store.SetSetting("last.pressure_unit", i.conditions.pressureUnit) &&
           store.SetSetting("last.humidity", NumberText(i.conditions.humidity));
}

}  // namespace yukt::records
