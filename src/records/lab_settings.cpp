#include "records/lab_settings.h"

#include "records/machine_number.h"
#include "common/text.h"
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

int LabSettings::IntervalOf(const Record& record) const {
    return record.intervalMonths > 0 ? record.intervalMonths : IntervalFor(record.module.model);
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

// The module's details are kept per model, the workstation's own entries
// (owner, operator, kind, conditions) across models; both per workstation.
// "/" cannot be part of a host name or a model code.
namespace {

QString HostKey(const QString& host, const char* field) {
    return QStringLiteral("last/%1/%2").arg(host, QLatin1String(field));
}

QString ModelKey(const QString& host, const QString& model, const char* field) {
    return QStringLiteral("last/%1/%2/%3").arg(host, model, QLatin1String(field));
}

std::optional<double> StoredNumber(const QString& text) {
    double v = 0;
    if (!StrToFloatStrict(text.toStdString(), v)) return std::nullopt;
    return v;
}

QString NumberToStore(const std::optional<double>& v) {
    return v ? QString::fromStdString(FloatToStr(*v)) : QString();
}

}  // namespace

RecordInfo LoadLastInfo(RecordStore& store, const QString& model, const QString& host) {
    RecordInfo i;
    i.instrumentName = store.Setting(ModelKey(host, model, "instrument_name"));
    i.manufactureYear = store.Setting(ModelKey(host, model, "manufacture_year"));
    i.modification = store.Setting(ModelKey(host, model, "modification"));
    i.typeNumber = store.Setting(ModelKey(host, model, "type_number"));
    i.methodology = store.Setting(ModelKey(host, model, "methodology"));
    i.owner = store.Setting(HostKey(host, "owner"));
    i.kind = store.Setting(HostKey(host, "kind")) == "1" ? VerificationKind::Primary
                                                         : VerificationKind::Periodic;
    i.operatorName = store.Setting(HostKey(host, "operator"));
    i.conditions.temperature = StoredNumber(store.Setting(HostKey(host, "temperature")));
    i.conditions.pressure = StoredNumber(store.Setting(HostKey(host, "pressure")));
    i.conditions.pressureUnit =
        store.Setting(HostKey(host, "pressure_unit"), i.conditions.pressureUnit);
    i.conditions.humidity = StoredNumber(store.Setting(HostKey(host, "humidity")));
    return i;  // the serial number is never offered again: it names one module
}

bool SaveLastInfo(RecordStore& store, const QString& model, const RecordInfo& i,
                  const QString& host) {
    const std::pair<QString, QString> values[] = {
        {ModelKey(host, model, "instrument_name"), i.instrumentName},
        {ModelKey(host, model, "manufacture_year"), i.manufactureYear},
        {ModelKey(host, model, "modification"), i.modification},
        {ModelKey(host, model, "type_number"), i.typeNumber},
        {ModelKey(host, model, "methodology"), i.methodology},
        {HostKey(host, "owner"), i.owner},
        {HostKey(host, "kind"), QString::number(static_cast<int>(i.kind))},
        {HostKey(host, "operator"), i.operatorName},
        {HostKey(host, "temperature"), NumberToStore(i.conditions.temperature)},
        {HostKey(host, "pressure"), NumberToStore(i.conditions.pressure)},
        {HostKey(host, "pressure_unit"), i.conditions.pressureUnit},
        {HostKey(host, "humidity"), NumberToStore(i.conditions.humidity)},
    };
    for (const auto& [key, value] : values)
        if (!store.SetSetting(key, value)) return false;
    return true;
}

}  // namespace yukt::records
