#include "records/records_fixture.h"

#include "records/lab_references.h"

namespace yukt::records::test {

Record SampleRecord() {
    Record r;
    r.module = {"745t", "ЮКТ-7 745.100 v01", "745100.01", 23, "0.0012 1.0003", "0.0011 1.0002"};
    r.info.serial = "A-1024";
    r.info.manufactureYear = "2024";
    r.info.modification = "ЮКТ-7745t";
    r.info.owner = "ООО \"Рога & <Копыта>\"";
    r.info.typeNumber = "12345-24";
    r.info.instrumentName = "Модуль ввода токовых сигналов";
    r.info.kind = VerificationKind::Periodic;
    r.info.methodology = "МП 001-2026";
    r.info.operatorName = "Иванов И. И.";
    r.info.conditions = {21.5, 100.2, "кПа", 55.0};
    r.lab = {"ООО «Лаборатория»",
             "ЛАБ",
             "КП \"ЗИРОК-М\" 787x v02, 788t v01",
             {"3.1.ABC.0001.2020"},
             {"12345.67.2Р.00001"},
             "55555-15",
             "C-77"};
    r.program = {"poverka", "1.0", QString(64, 'a')};
    return r;
}

LabReference SampleReference(const QString& number, const QStringList& quantities,
                             const QDate& until) {
    LabReference r;
    r.kind = kMietaKind;
    r.number = number;
    r.name = "Калибратор";
    r.serial = "123";
    r.certificate = "С-1";
    r.validUntil = until;
    r.quantities = quantities;
    return r;
}

bool SetSampleLabSettings(RecordStore& store) {
    return store.SetSetting("organisation", "Лаборатория") && store.SetSetting("sign_cipher", "ЛАБ") &&
           store.SetSetting("uve_numbers", "3.1.A.1");
}

bool AddSampleReference(RecordStore& store, const QString& number) {
    LabReference r = SampleReference(number,
                                     {"current", "generator_current", "frequency", "period",
                                      "interval", "count", "divider", "translator"},
                                     QDate::currentDate().addYears(1));
    r.kind = kUveKind;
    r.name = "Эталон";
    r.serial = "1";
    QString error;
    return AddReference(store, r, &error);
}

RecordPoint SamplePoint(double nominal, double measured, double limit) {
    RecordPoint p;
    p.procedure = "ток 745t";
    p.channel = "канал 1";
    p.unit = "мА";
    p.nominal = nominal;
    p.reference = nominal;
    p.readings = {measured, measured};
    p.measured = measured;
    p.errorKind = "abs";
    p.error = measured - nominal;
    p.limit = limit;
    p.result = std::abs(p.error) <= limit ? "pass" : "fail";
    return p;
}

LabSettings SampleLabSettings() {
    LabSettings lab;
    lab.organisation = "Лаборатория";
    lab.signCipher = "ЛАБ";
    lab.uveNumbers = {"3.1.A.1"};
    return lab;
}

}  // namespace yukt::records::test
