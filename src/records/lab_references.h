// The laboratory's register of references: the standards, etalon
// instruments and measuring instruments a verification is made with, each
// valid between two dates. Every change is a new revision, a link of the
// records' chain; nothing is deleted. Before a run, every quantity it
// measures needs a reference in use that supplies it and is valid that day.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "records/record.h"
#include "records/record_store.h"

namespace yukt::records {

// The registry's three kinds of means.
inline const QString kUveKind = QStringLiteral("uve");      // state primary/secondary standard
inline const QString kMietaKind = QStringLiteral("mieta");  // etalon instrument
inline const QString kMisKind = QStringLiteral("mis");      // measuring instrument as a reference
inline const QString kValidityUnknown = QStringLiteral("срок не указан");

struct LabReference {
    QString number;      // uve/mieta: the registry number; mis: the laboratory's own
    int revision = 0;    // 0 when added
    QString kind;        // kUveKind, kMietaKind or kMisKind
    QString typeNumber;  // mis: the type's registration number
    QString name;
    QString serial;
    QString certificate;  // of its verification or calibration
    QDate validFrom;      // may be unknown
    QDate validUntil;     // unknown: kValidityUnknown, refused by the gate
    QStringList quantities;  // "current", "frequency" ... as the methodologies name them
    bool retired = false;
    QString note;  // why retired, or where a migrated one came from
    QString workstation;
    QDateTime changedAt;  // UTC
};

// What is wrong with a reference's fields, each naming its field as the
// command line does ("--valid-until: …"); empty when it may be stored.
QStringList ReferenceProblems(const LabReference& r);

// The latest revision of every reference, retired ones included, by number.
std::optional<QList<LabReference>> LoadReferences(RecordStore& store, QString* error = nullptr);
// Each false with `error` naming the field or the reason; nothing stored then.
bool AddReference(RecordStore& store, LabReference r, QString* error);
// A new verification of the reference: certificate and validity (and, when
// given, the quantities it supplies, its name and serial number: a reference
// moved from the old settings has none).
bool RenewReference(RecordStore& store, const QString& number, const QString& certificate,
                    const QDate& validUntil, const QDate& validFrom,
                    const QStringList& quantities, QString* error, const QString& name = {},
                    const QString& serial = {});
bool RetireReference(RecordStore& store, const QString& number, const QString& reason,
                     QString* error);

// The settings' free-text means (uve_numbers, mieta_numbers, mis_type with
// mis_serial, the calibrator's text as their name) as references of unknown
// validity supplying every quantity: the laboratory used them for everything.
QList<LabReference> LegacyReferences(const QHash<QString, QString>& settings);
ChainedRow ReferenceRow(const LabReference& r);
ChainedRow MeansRow(qint64 recordId, const ReferenceUse& use);
ReferenceUse MeansOf(const QSqlQuery& q);

// The gate before a run on `day` (a local date).
constexpr int kReferenceWarningDays = 30;
struct ReferenceGate {
    QStringList refusals;      // the run does not start
    QStringList warnings;      // validity ending within kReferenceWarningDays
    QList<ReferenceUse> used;  // per quantity, every valid reference in use
    bool Passed() const { return refusals.isEmpty(); }
};
ReferenceGate CheckReferences(const QList<LabReference>& references,
                              const QStringList& quantities, const QDate& day);
// References in use whose validity ends between `day` and `day` + `days`, soonest first.
QList<LabReference> ReferencesDue(const QList<LabReference>& references, const QDate& day,
                                  int days);

// Every record (its latest revision) made with reference `number`, begun
// between two local dates (invalid: open), oldest first: an executed,
// forward-only query of the columns below (check isActive()).
enum SuspectColumn { kSId, kSStarted, kSModel, kSDesignation, kSSerial, kSOwner, kSVerdict,
                     kSCertificate, kSValidUntil, kSState };
QSqlQuery SuspectRecords(const QSqlDatabase& db, const QString& number, const QDate& from,
                         const QDate& to);

QString ReferenceDate(const QDate& d);  // "01.11.2026", or kValidityUnknown
// The registry's means of a record as its lab snapshot keeps them (the
// calibrator's name, type and serial as CalibratorOf gives them).
void MeansIntoLab(const QList<ReferenceUse>& used, LabSnapshot& lab);

// The calibrator as a measuring instrument, wherever a document names it
// (the protocol's "Калибратор", the registry's means): the register's `mis`
// reference the record was made with, else the settings' `calibrator` text
// and measuring-instrument fields copied into the record.
struct CalibratorName {
    QString name;
    QString typeNumber;
    QString serial;
};
CalibratorName CalibratorOf(const QList<ReferenceUse>& means, const LabSnapshot& lab);
CalibratorName CalibratorOf(const Record& record);

}  // namespace yukt::records

namespace yukt::verify {
struct Plan;
}

namespace yukt::records {

// The quantities a plan measures, as the methodologies name them.
QStringList PlanQuantities(const verify::Plan& plan);
// The gate for a record about to begin on `day`: reads the register, checks
// the plan's quantities and, when they pass, gives the record the references
// it is made with (`means`, and the registry's numbers in its lab snapshot).
// Nothing, with `error`, when the register cannot be read.
std::optional<ReferenceGate> GateRecord(RecordStore& store, const verify::Plan& plan,
                                        const QDate& day, Record& record, QString* error);
// The settings' missing fields, less the means when the register has a
// reference in use: the gate judges those.
QStringList MissingBesideRegister(QStringList missing, const QList<LabReference>& references);

}  // namespace yukt::records
