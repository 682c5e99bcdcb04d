// Where a record stands with the registry: not exported, exported (file,
// date), in the registry (its id and document number), refused (the
// operator's reason) or not found some working days after its export.
// Exports and refusals are events of their own; the registry's match is a
// revision of the record.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>

#include "records/fgis_export.h"
#include "records/record_store.h"

namespace yukt::records {

enum class RegistryState { NotExported, Exported, InRegistry, Refused, NotFound };

// As the journal shows it: "не выгружена", "выгружена", "в реестре",
// "отклонена", "не найдена в реестре".
QString RegistryStateCaption(RegistryState state);
// The states in the journal filter's order.
QList<RegistryState> RegistryStates();

// Settings: the working days after an export when a record not found becomes
// "not found", and the registry's base URL (a laboratory may point it at a
// proxy).
inline const QString kRegistryDaysKey = QStringLiteral("registry.not_found_days");
inline const QString kRegistryUrlKey = QStringLiteral("registry.url");
constexpr int kRegistryDaysDefault = 10;
inline const QString kRegistryUrlDefault = QStringLiteral("https://fgis.gost.ru");
int RegistryNotFoundDays(RecordStore& store);
QString RegistryBaseUrl(RecordStore& store);

// An export made before this moment (UTC) has had `workingDays` working days
// (Monday to Friday) after its day by `today`.
QDateTime NotFoundBound(const QDate& today, int workingDays);

struct RegistryStatus {
    RegistryState state = RegistryState::NotExported;
    QString vriId;         // in the registry
    QDateTime at;          // of the latest export or refusal
    bool finished = true;  // false: open or "прервано", nothing for the registry
};
// From the journal's registry column (sql::kRegistryStateColumn).
RegistryStatus RegistryStatusOf(const QString& column, const QDateTime& notFoundBound);
// The journal's text of a status: "в реестре: 1-123", "выгружена 08.12.2026".
QString RegistryStatusText(const RegistryStatus& status);

// The SQL fragment that keeps records in `state`, with its bound values.
QString RegistryStateFilter(RegistryState state, const QDateTime& notFoundBound,
                            QVariantList* binds);

// Notes that each record an export wrote is now in its file.
bool RecordExports(RecordStore& store, const FgisExportReport& report, QString* error);
// The operator's word that the registry refused a record, and why.
bool RecordRefusal(RecordStore& store, qint64 recordId, const QString& reason,
                   const QString& author, QString* error);

struct RegistryEvent {
    QString event;  // "exported", "refused"
    QDateTime at;
    QString file, format, reason, author;
};
std::optional<QList<RegistryEvent>> RegistryEventsOf(RecordStore& store, qint64 recordId,
                                                     QString* error);

// A record that still needs the operator: finished and never exported,
// refused, or exported and not found after the working days.
struct PendingRecord {
    qint64 id = 0;
    RegistryState state = RegistryState::NotExported;
    QString model, serial, typeNumber;
    QDate verificationDay;
    QDateTime at;  // of the export or refusal
};
// Streams them, the never exported first, then the not found and the refused.
bool ForEachPending(RecordStore& store, int workingDays,
                    const std::function<void(const PendingRecord&)>& each, QString* error);

}  // namespace yukt::records
