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

LabSettings LabSettings::Load(RecordStore& store) {
    LabSettings s;
    s.organisation = store.Setting("organisation");
    s.signCipher = store.Setting("sign_cipher");
    s.calibrator = store.Setting("calibrator");
    s.uveNumbers = SplitList(store.Setting("uve_numbers"));
    s.mietaNumbers = SplitList(store.Setting("mieta_numbers"));
    s.misTypeNumber = store.Setting("mis_type");
    s.misSerial = store.Setting("mis_serial");
    s.certificateScheme = store.Setting("certificate_scheme", s.certificateScheme);
    s.noticeScheme = store.Setting("notice_scheme", s.noticeScheme);
    for (const QString& model : Models()) {
        const int months = store.Setting("interval." + model).toInt();
        if (months > 0) s.intervalMonths[model] = months;
    }
    return s;
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
