// The laboratory's settings, kept in the records database so that every
// workstation on one database shares them.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

#include "records/record.h"

namespace yukt::records {

class RecordStore;

struct LabSettings {
    QString organisation;
    QString signCipher;
    QString calibrator;
    QStringList uveNumbers;
    QStringList mietaNumbers;
    QString misTypeNumber;
    QString misSerial;
    QMap<QString, int> intervalMonths;  // per model code
    // "{Y}" is the year, "{N}" the running number of that year.
    QString certificateScheme = QStringLiteral("{Y}/{N}");
    QString noticeScheme = QStringLiteral("И-{Y}/{N}");

    static constexpr int kDefaultInterval = 12;
    static const QStringList& Models();  // the verifiable models

    // Nothing (the store's LastError says why) when the settings cannot be
    // read: a run never starts on settings it could not read.
    static std::optional<LabSettings> Load(RecordStore& store);
    bool Save(RecordStore& store) const;
    LabSnapshot Snapshot() const;
    int IntervalFor(const QString& model) const;
    // The interval a record's validity counts: its methodology's when it was
    // made by one, else this per-model one.
    int IntervalOf(const Record& record) const;
};

// What the registry needs of the laboratory and is not filled, named as the
// settings dialog names it; a verification starts only when this is empty.
QStringList MissingLabSettings(const LabSettings& settings);

// The certificate or notice number of a scheme.
QString FormatCertificate(const QString& scheme, int year, qint64 number);

// The operator's entries of the last record of `model` on the workstation
// `host`, offered again for the next one. Saving fails (LastError of the
// store) when the database does.
RecordInfo LoadLastInfo(RecordStore& store, const QString& model, const QString& host);
bool SaveLastInfo(RecordStore& store, const QString& model, const RecordInfo& info,
                  const QString& host);

}  // namespace yukt::records
