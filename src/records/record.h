// A verification record: the module, the verification, its points and the
// verdict, as stored and as the protocol and the registry file read them.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "verify/point_result.h"

namespace yukt::verify {
struct Attempt;
}  // namespace yukt::verify

namespace yukt::records {

enum class VerificationKind { Primary = 1, Periodic = 2 };

// The state of a record in the database: open while points are being added.
enum class RecordState { Open, Closed, Interrupted };

// Verdict texts as the operator reads them: the run's own words.
inline const QString kSuitable = QString::fromUtf8(verify::RunVerdictWord(verify::RunVerdict::Fit));
inline const QString kUnsuitable =
    QString::fromUtf8(verify::RunVerdictWord(verify::RunVerdict::Unfit));
inline const QString kInterrupted =
    QString::fromUtf8(verify::RunVerdictWord(verify::RunVerdict::Interrupted));

// One measured point, manual or automatic. Field names follow the runner's
// point result so that recording a run point is a field-by-field copy.
struct RecordPoint {
    int seq = 0;  // 1.. within the record, assigned by the store
    QString procedure;
    QString channel;
    QString unit;
    double nominal = 0;
    double reference = 0;
    QList<double> readings;
    double measured = 0;
    QString errorKind;  // "abs", "rel" or "reduced"
    double error = 0;
    double limit = 0;
    QString result;  // "pass", "fail" or "not measured"
    QString reason;
    bool manual = false;
    QDateTime measuredAt;  // UTC
    // Attempts at a methodology's plan (empty or 0 in records made from a
    // single procedure, which stay readable as they are).
    QString operation;      // the methodology's operation id, "5.4"
    int channelNo = 0;      // physical channel as printed on the module, from 1
    int item = 0;           // the plan item, from 1
    int attempt = 0;        // 1.. per item; the latest counts
    double resolution = 0;  // of the error; 0: printed as before
    double limit2 = 0;      // abs+rel: the part proportional to |x| (limit is the constant)
    double spanLow = 0, spanHigh = 0;  // reduced: the span
    double refRatio = 0;    // module's permitted error / the reference's
    QString remark;         // a manual operation's remark
    // What the point owes to the reference (attempts measured with a
    // reference named; earlier records have none): the reference's permitted
    // error in the quantity's unit, the expanded uncertainty U (k = 2) in the
    // error's unit, and a pass close to the limit.
    bool hasU = false;
    double referenceError = 0;
    double u = 0;
    bool marginal = false;
};

// One item of the plan a record was made by.
struct PlanEntry {
    int item = 0;
    QString operation;  // id
    QString title;
    QString kind;       // "inspection", "functional", "software", "error"
    int channelNo = 0;
    double nominal = 0;
    QString unit;
    QStringList acceptedVersions;  // software items: the versions the methodology accepts
};

struct Conditions {
    std::optional<double> temperature;  // °C
    std::optional<double> pressure;
    QString pressureUnit = QStringLiteral("кПа");  // or "мм рт. ст."
    std::optional<double> humidity;                // %
};

// The fields the operator enters before the first point and may correct later.
struct RecordInfo {
    QString serial;
    QString manufactureYear;
    QString modification;
    QString owner;
    QString typeNumber;  // registration number of the instrument type
    VerificationKind kind = VerificationKind::Periodic;
    QString methodology;
    QString operatorName;
    Conditions conditions;
    QString instrumentName;  // наименование
};

// What the laboratory settings contribute, copied into the record when it is
// opened so that its documents never depend on later settings.
struct LabSnapshot {
    QString organisation;
    QString signCipher;
    QString calibrator;        // identification texts of the calibrator
    QStringList uveNumbers;    // etalon registration numbers (уровень)
    QStringList mietaNumbers;  // etalon numbers of measuring instruments
    QString misTypeNumber;     // the calibrator as a measuring instrument
    QString misSerial;
};

// A reference the record was made with, as the register had it when the
// record was opened: what the protocol and the registry file name, whatever
// the register says later.
struct ReferenceUse {
    QString quantity;  // as the methodologies name it: "current", "frequency" ...
    QString number;    // the register's number (mieta/uve number, or the mis identifier)
    QString kind;      // "uve", "mieta" or "mis"
    QString typeNumber;
    QString name;
    QString serial;
    QString certificate;
    QDate validUntil;
};

struct ProgramIdent {
    QString name;
    QString version;
    QString checksum;  // SHA-256 of the running executable, hex
};

// The module as identification found it.
struct ModuleFacts {
    QString model;        // "745t" ...
    QString designation;  // as shown to the operator
    QString identText;
    int flashAddress = 0;
    QString flashBefore;  // calibration values read before the verification
    QString flashAfter;   // and written after it
};

struct Revision {
    int number = 0;  // 0: the original record
    QString author;
    QDateTime at;  // UTC
    QString reason;
};

// The registry's entry of a record, once an answer of the registry was
// matched to it (empty before).
struct RegistryEntry {
    QString vriId;   // the registry's id of the verification
    QString docnum;  // the certificate or notice number as the registry holds it
    QDateTime seenAt;  // UTC, when the answer was matched
};

struct Record {
    qint64 id = 0;
    QString workstation;
    ModuleFacts module;
    RecordInfo info;
    LabSnapshot lab;
    ProgramIdent program;
    QDateTime startedAt;   // UTC
    QDateTime finishedAt;  // UTC; invalid while open
    RecordState state = RecordState::Open;
    QString verdict;  // kSuitable, kUnsuitable, kInterrupted; empty while open
    QStringList reasons;
    QDate validUntil;           // only for kSuitable
    QString certificateNumber;  // certificate or notice number
    QList<RecordPoint> points;
    // The methodology the record was made by, as run.
    QString methodologyId;
    int methodologyRevision = 0;
    QString methodologySha256;
    QList<PlanEntry> plan;
    QString softwareFound;  // the module's software identification found
    // The methodology's verification interval, months; 0 for a record made
    // without a methodology (the settings' interval of the model holds).
    int intervalMonths = 0;
    QList<ReferenceUse> means;  // the references of the record, per quantity
    Revision revision;  // the revision this view of the record shows
    // SHA-256 (hex) of the record's latest entry in the database's chain of
    // entries, as read: printed on the protocol, it vouches for the record
    // and everything stored before it.
    QString chainHash;
    RegistryEntry registry;
};

// The verdict the points give: suitable only when every point was measured
// and passed.
QString VerdictOf(const QList<RecordPoint>& points);
// The verdict of a record made by a plan: the latest attempt per item
// counts ("не годен" when one failed, "прервано" when one is missing,
// "годен" only when every item passed). Without a plan, as above.
QString VerdictOf(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts);
// Why a plan's record is not "годен": the items whose latest attempt failed
// and those with no measured attempt, named by operation and channel.
QStringList PlanReasons(const QList<PlanEntry>& plan, const QList<RecordPoint>& attempts);

// A stored attempt as the run's rules read it ("pass", "fail", anything
// else not measured).
verify::PointVerdict PointVerdictOf(const QString& result);
verify::Attempt AttemptOf(const RecordPoint& point);

// Validity: verification date + interval months − one day.
QDate ValidUntil(const QDate& verificationDate, int intervalMonths);

QString VerdictForState(RecordState state, const QString& verdict);

}  // namespace yukt::records
